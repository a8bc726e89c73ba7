#include <SystemConfiguration/NSSService.h>

#include <utility>

namespace SystemConfiguration {

NSSService::NSSService(const std::string& module) : module_(module) {}
NSSService::NSSService(std::string&& module) : module_(std::move(module)) {}

bool NSSService::operator==(const NSSService& other) const
{
    return module_ == other.module_ && parameters_ == other.parameters_;
}

}  // namespace SystemConfiguration
