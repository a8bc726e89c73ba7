#include <SystemConfiguration/PAMStack.h>

#include <algorithm>

namespace SystemConfiguration {

PAMStack::PAMStack() = default;
PAMStack::PAMStack(const PAMFacility& facility) : facility(facility) {}
PAMStack::PAMStack(const PAMStack& other) = default;
PAMStack& PAMStack::operator=(const PAMStack& other) = default;
PAMStack::PAMStack(PAMStack&& other) = default;
PAMStack& PAMStack::operator=(PAMStack&& other) = default;
PAMStack::~PAMStack() = default;

PAMStack::iterator PAMStack::find(const std::string& module)
{
    return std::find_if(begin(), end(), [&module](const PAMEntry& entry) { return entry.module() == module; });
}

PAMStack::const_iterator PAMStack::find(const std::string& module) const
{
    return std::find_if(begin(), end(), [&module](const PAMEntry& entry) { return entry.module() == module; });
}

}  // namespace SystemConfiguration
