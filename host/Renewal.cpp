#include <orvane/host/Renewal.h>

#include <orvane/authentication/ActiveDirectoryProvider.h>
#include <orvane/host/Stores.h>

#include <stdexcept>

namespace orvane::host {

std::string RenewMachinePassword()
{
    const std::string domain = JoinedDomain();
    if (domain.empty()) {
        throw std::runtime_error("this host is not joined to a domain: there is no machine password to renew");
    }
    CreateDirectoryStore()->Provider()->RenewMachinePassword();
    return domain;
}

}  // namespace orvane::host
