#include "membership/JORVPrerequisites.h"

#include <orvane/authentication/ActiveDirectoryStore.h>
#include <orvane/authentication/JORVProxy.h>

#include <memory>
#include <string>

namespace orvane {
namespace authentication {

std::string ActiveDirectoryStore::GetDomainForJORVService(const std::string& serverAddress)
{
    RequireIpv4ServerAddress(serverAddress);
    const std::string providerName = ReadJORVProviderName();
    // Only a name is asked for, before any certificate may have been
    // imported: never verify here.
    const std::unique_ptr<JORVProxy> proxy = OpenJORVProxy(providerName, serverAddress, false, std::string());
    return proxy->GetDNSDomainName();
}

}  // namespace authentication
}  // namespace orvane
