#include <SystemConfiguration/PAMPolicy.h>

namespace SystemConfiguration {

PAMPolicy::PAMPolicy(const std::string& name) : name(name) {}
PAMPolicy::PAMPolicy(const PAMPolicy& other) = default;
PAMPolicy& PAMPolicy::operator=(const PAMPolicy& other) = default;
PAMPolicy::PAMPolicy(PAMPolicy&& other) = default;
PAMPolicy& PAMPolicy::operator=(PAMPolicy&& other) = default;
PAMPolicy::~PAMPolicy() = default;

PAMStack& PAMPolicy::operator[](PAMFacility facility)
{
    // std::map never moves its elements, which is what keeps the returned
    // reference valid while other stacks are added.
    return stacks.try_emplace(facility, facility).first->second;
}

}  // namespace SystemConfiguration
