#include "membership/DomainRecord.h"
#include "base/OrganizationalUnit.h"
#include "errors/LogText.h"
#include "errors/MappedFailure.h"

#include <orvane/authentication/ActiveDirectoryConfigStore.h>
#include <orvane/authentication/ActiveDirectoryProvider.h>
#include <orvane/authentication/Exceptions.h>
#include <orvane/authentication/PluginStatus.h>

#include <platform/QelConfigStore.h>

#include <strings.h>
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

bool CompleteInterruptedJoin(const ActiveDirectoryProvider& provider, const std::string& domainName,
                             const std::string& organizationalUnit, const std::string& proxyAddress)
{
    if (!ActiveDirectoryConfigStore::IsConfigStoreEnabled()) {
        return false;
    }
    {
        ActiveDirectoryConfigStore configStore;
        try {
            configStore.GetDomainName();
            return false;  // recorded: the host really is a member already
        } catch (const ConfigurationError&) {
        }
    }
    Domain joined;
    try {
        joined = provider.GetActiveDomain();
    } catch (const std::exception&) {
        return false;  // it cannot name its domain: its own refusal stands
    }
    if (strcasecmp(joined.dnsName.c_str(), domainName.c_str()) != 0 &&
        strcasecmp(joined.netbiosName.c_str(), domainName.c_str()) != 0) {
        return false;
    }
    syslog(LOG_NOTICE, "The host was already joined to %s without a domain record (an earlier join was "
           "interrupted); recording the membership", LogText(domainName).c_str());
    RecordMembershipOrLeave(provider, domainName, organizationalUnit, proxyAddress);
    return true;
}

bool CompleteInterruptedLeave()
{
    if (!ActiveDirectoryConfigStore::IsConfigStoreEnabled()) {
        return false;
    }
    ActiveDirectoryConfigStore configStore;
    std::string recorded;
    try {
        recorded = configStore.GetDomainName();
    } catch (const ConfigurationError&) {
        return false;
    }
    syslog(LOG_NOTICE, "The host had already left %s but its domain record remained (an earlier leave was "
           "interrupted); removing the record", LogText(recorded).c_str());
    configStore.RemoveDomainInfo();
    return true;
}

std::string CheckedOrganizationalUnitDN(const std::string& organizationalUnit, const std::string& dnsDomainName)
{
    try {
        return orvauth_base::OrganizationalUnitDN(organizationalUnit, dnsDomainName);
    } catch (const orvauth_base::InvalidOrganizationalUnit& refused) {
        ThrowMappedException(ORVAUTH_STATUS_INVALID_PARAMETER, refused.what());
    }
}

}  // namespace authentication
}  // namespace orvane
