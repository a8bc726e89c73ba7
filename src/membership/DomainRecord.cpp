#include "membership/DomainRecord.h"
#include "errors/LogText.h"

#include <orvane/authentication/ActiveDirectoryConfigStore.h>
#include <orvane/authentication/ActiveDirectoryProvider.h>

#include <platform/QelConfigStore.h>

#include <syslog.h>

namespace orvane {
namespace authentication {

void RecordMembershipOrLeave(const ActiveDirectoryProvider& provider, const std::string& dnsDomainName,
                             const std::string& organizationalUnit, const std::string& proxyAddress)
{
    if (!ActiveDirectoryConfigStore::IsConfigStoreEnabled()) {
        return;
    }
    try {
        ActiveDirectoryConfigStore configStore;
        configStore.StoreDomainInfo(dnsDomainName, organizationalUnit, proxyAddress);
    } catch (const QelConfigStore::ConfigStoreException& error) {
        // A member the host configuration does not know about would be
        // invisible to the host's management: undo the join. A machine
        // account a proxy created is left as it is.
        syslog(LOG_ERR, "Failed to store domain details to Config Store: %s.Leaving Domain...",
               LogText(error.what()).c_str());
        provider.PartDomain();
        throw;
    }
}

}  // namespace authentication
}  // namespace orvane
