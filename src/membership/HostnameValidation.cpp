// Checks the host's own name before a join and prepares name resolution
// for it: DNS search list and the hosts-file entry of the management
// address.
#include "membership/HostIdentity.h"
#include "errors/LogText.h"
#include "base/AsciiText.h"

#include <orvane/authentication/ActiveDirectoryStore.h>
#include <orvane/authentication/Exceptions.h>

#include <platform/ZodCtl.h>

#include <algorithm>
#include <memory>
#include <netdb.h>
#include <string>
#include <syslog.h>
#include <vector>

namespace orvane {
namespace authentication {

namespace {

const char* const NETWORK_STACK = "defaultTcpipStack";

// Generic names that many hosts share and so cannot be a machine account.
// Compared exactly: "Linux" is someone's deliberate choice.
const std::vector<std::string>& HostNameBlacklist()
{
    static const std::vector<std::string> blacklist{"localhost", "linux", "hostname"};
    return blacklist;
}

bool IsBlacklisted(const std::string& shortName)
{
    const std::vector<std::string>& blacklist = HostNameBlacklist();
    return std::find(blacklist.begin(), blacklist.end(), shortName) != blacklist.end();
}

std::string FirstLabel(const std::string& name) { return name.substr(0, name.find('.')); }

// Only a domain the resolver already knows goes into the search list, so
// that a typing error cannot add an unusable suffix to every lookup.
void AddSearchDomainIfResolvable(const std::string& domain)
{
    if (gethostbyname(domain.c_str()) == nullptr) {
        return;
    }
    ZodCtl::Network::DnsConfigImpl dns(NETWORK_STACK);
    dns.AddSearchDomain(domain);
    dns.SaveConfig();
}

}  // namespace

void ActiveDirectoryStore::SanitiseHostnameForDomain(const std::string& domain) const
{
    // Both services exist before anything is read, so a host whose network
    // configuration is unusable fails the same way whatever its name.
    ZodCtl::Network::HostsFile hostsFile;
    ZodCtl::Network::NetworkInfoImpl networkInfo;

    HostIdentity identity = ReadHostIdentity();
    if (FirstLabel(identity.resolvedName) != identity.shortName) {
        throw InvalidHostNameException("shortname does not match FQDN");
    }

    const std::string expectedName = identity.shortName + "." + domain;
    std::string& resolvedName = identity.resolvedName;
    if (resolvedName.find('.') == std::string::npos) {
        resolvedName = expectedName;
    }
    if (!orvauth_base::EqualsIgnoringCase(resolvedName, expectedName)) {
        syslog(LOG_WARNING, "The fully qualified hostname %s does not match the expected value %s\n",
               LogText(resolvedName).c_str(), LogText(expectedName).c_str());
        AddSearchDomainIfResolvable(domain);
    }

    if (IsBlacklisted(identity.shortName)) {
        throw InvalidHostNameException("hostname is in blacklist");
    }

    // The resolver's own name goes into the hosts file even when it is not
    // the expected one: it is what the host is actually known as.
    std::unique_ptr<ZodCtl::Network::NetworkInterface> management(networkInfo.GetManagementInterface());
    const std::string address = management->GetIpConfig().GetIpv4Address().GetStringAddress();
    hostsFile.AddOrReplaceEntry(address, resolvedName, std::vector<std::string>{identity.shortName});
}

}  // namespace authentication
}  // namespace orvane
