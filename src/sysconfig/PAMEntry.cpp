#include <SystemConfiguration/PAMEntry.h>

#include <utility>

namespace SystemConfiguration {

PAMEntry::PAMEntry() = default;
PAMEntry::PAMEntry(PAMControl control, std::string module)
    : control_(std::move(control)), module_(std::move(module))
{
}

bool PAMEntry::operator==(const PAMEntry& other) const
{
    return static_cast<PAMControl::Control>(control_) == static_cast<PAMControl::Control>(other.control_) &&
           module_ == other.module_ && parameters_ == other.parameters_;
}

}  // namespace SystemConfiguration
