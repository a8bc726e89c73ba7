#include <SystemConfiguration/NSSService.h>

#include <utility>

namespace SystemConfiguration {

NSSService::NSSService(const std::string& module) : module_(module) {}
NSSService::NSSService(std::string&& module) : module_(std::move(module)) {}
NSSService::NSSService(const NSSService& other) = default;
NSSService& NSSService::operator=(const NSSService& other) = default;
NSSService::NSSService(NSSService&& other) noexcept = default;
NSSService& NSSService::operator=(NSSService&& other) noexcept = default;
NSSService::~NSSService() = default;

bool NSSService::operator==(const NSSService& other) const
{
    return module_ == other.module_ && parameters_ == other.parameters_;
}

}  // namespace SystemConfiguration
