#include "adclient/DirectoryLookups.h"

#include "adclient/ClientSettings.h"
#include "adclient/ControllerChoice.h"
#include "adclient/DirectorySession.h"
#include "base/LdapText.h"
#include "common/Names.h"
#include "common/StatusError.h"

#include <orvane/authentication/ActiveDirectoryClient.h>

using namespace orvauth_plugin;

namespace adclient {
namespace {

// libldap's bound for connecting and for each request.
constexpr std::chrono::seconds LDAP_BOUND{5};
constexpr std::chrono::seconds QUERY_BOUND{10};

MachineAccount AccountOf(const JoinedDomain& joined)
{
    return {joined.Controller(), joined.realm, joined.computerName, KeytabPath(), CurrentClientSettings().useLdaps};
}

bool FindTrusted(const JoinedDomain& joined, const std::string& name, TrustedDomain& found)
{
    for (const TrustedDomain& domain : TrustedDomains(joined)) {
        if (EqualsIgnoringCase(name, domain.dnsName) || EqualsIgnoringCase(name, domain.netbiosName)) {
            found = domain;
            return true;
        }
    }
    return false;
}

}  // namespace

std::vector<TrustedDomain> TrustedDomains(const JoinedDomain& joined)
{
    DirectorySession session(AccountOf(joined), LDAP_BOUND);
    std::vector<TrustedDomain> domains;
    for (const DirectoryEntry& entry : session.Search("CN=System," + DomainComponents(joined.domain),
                                                      "(objectClass=trustedDomain)",
                                                      {"trustPartner", "flatName", "trustDirection"})) {
        const std::string dns = entry.First("trustpartner");
        const std::string flat = entry.First("flatname");
        if (!dns.empty()) {
            domains.push_back({dns, flat.empty() ? ToUpper(dns.substr(0, dns.find('.'))) : flat});
        }
    }
    return domains;
}

namespace {

DirectoryEntry MachineAccountEntry(const JoinedDomain& joined, const std::vector<std::string>& attributes)
{
    DirectorySession session(AccountOf(joined), LDAP_BOUND);
    const std::vector<DirectoryEntry> entries = session.Search(
        DomainComponents(joined.domain),
        "(&(objectClass=computer)(sAMAccountName=" + orvauth_base::EscapedFilterValue(joined.computerName) + "$))",
        attributes);
    if (entries.size() != 1) {
        Fail(ORVAUTH_STATUS_NO_TRUST_ACCOUNT);  // the directory has no (or no single) account for this host
    }
    return entries.front();
}

}  // namespace

std::string MachineAccountDN(const JoinedDomain& joined)
{
    return MachineAccountEntry(joined, {"distinguishedName"}).dn;
}

std::vector<std::string> MachineAccountAttributes(const JoinedDomain& joined)
{
    const std::vector<std::string> names{"operatingSystem", "operatingSystemVersion", "description"};
    const DirectoryEntry entry = MachineAccountEntry(joined, names);
    std::vector<std::string> attributes;
    for (const std::string& name : names) {
        const std::string value = entry.First(orvauth_base::ToLower(name));
        if (!value.empty()) {
            attributes.push_back(name + "=" + value);
        }
    }
    return attributes;
}

std::string CanonicalUsername(const JoinedDomain& joined, const std::string& userName)
{
    const UserName split = SplitUserName(userName, joined.domain);
    const std::string& name = split.account;
    const std::string& domainPart = split.domain;
    if (!joined.Names(domainPart)) {
        TrustedDomain trusted;
        if (!FindTrusted(joined, domainPart, trusted)) {
            Fail(ORVAUTH_STATUS_NO_SUCH_DOMAIN);
        }
        return ToUpper(trusted.netbiosName) + "\\" + name;
    }
    DirectorySession session(AccountOf(joined), LDAP_BOUND);
    const std::string value = orvauth_base::EscapedFilterValue(name);
    const std::vector<DirectoryEntry> entries = session.Search(
        DomainComponents(joined.domain),
        "(&(|(objectClass=user)(objectClass=group))(|(sAMAccountName=" + value + ")(userPrincipalName=" + value + "@" +
            orvauth_base::EscapedFilterValue(joined.domain) + ")))",
        {"sAMAccountName"});
    if (entries.size() != 1 || entries.front().First("samaccountname").empty()) {
        Fail(ORVAUTH_STATUS_NO_SUCH_USER);
    }
    return ToUpper(joined.netbios) + "\\" + entries.front().First("samaccountname");
}

std::string HostPrincipal(const JoinedDomain& joined, const std::string& domainName)
{
    TrustedDomain trusted;
    if (!joined.Names(domainName) && !FindTrusted(joined, domainName, trusted)) {
        Fail(ORVAUTH_STATUS_NO_SUCH_DOMAIN);
    }
    // A trusted domain knows the host by its principal in its own realm.
    return joined.computerName + "$@" + joined.realm;
}

std::uint32_t TrustRelationship(const JoinedDomain& joined, const std::string& domainName)
{
    TrustedDomain trusted;
    if (joined.Names(domainName)) {
        return ORVAUTH_RELATION_JOINED_DOMAIN;
    }
    return FindTrusted(joined, domainName, trusted) ? ORVAUTH_RELATION_TRUSTED_DOMAIN : ORVAUTH_RELATION_NONE;
}

std::string AnyDomainController(AdcliRunner& adcli, const char* selector, const std::string& domainName)
{
    std::vector<std::string> preferred;
    std::string recorded;
    {
        // A preferred controller is asked only about its own domain.
        std::lock_guard<std::mutex> guard(StateLock());
        const StateFile state = LoadState();
        if (IsJoined(state) && (EqualsIgnoringCase(domainName, state.Value(keys::DOMAIN)) ||
                                EqualsIgnoringCase(domainName, state.Value(keys::NETBIOS)))) {
            preferred = state.Values(keys::PREFERRED_CONTROLLER);
            recorded = state.Value(keys::CONTROLLER);
        }
    }
    const orvauth_base::Controllers probed = ControllerToUse(domainName, preferred, recorded);
    if (CurrentClientSettings().useLdaps) {
        // adcli info asks over TCP 389 only, which LDAPS-only networks
        // close: the controllers DNS lists and the probe on 636 answer.
        if (selector == nullptr) {
            return probed.answering;
        }
        for (const std::string& name : probed.listed) {
            if (StartsWithIgnoringCase(name, selector)) {
                return name;
            }
        }
        Fail(ORVAUTH_STATUS_NO_LOGON_SERVERS);
    }
    std::vector<std::string> arguments{"info", "--domain-controller=" + probed.answering};
    arguments.push_back(domainName);
    const AdcliOutcome outcome = adcli.Succeed(AdcliCommand::Info, arguments, nullptr, QUERY_BOUND);
    std::string chosen = DetailValue(outcome.output, "domain-controller");
    if (selector != nullptr) {
        chosen.clear();
        std::vector<std::string> names = SplitWords(DetailValue(outcome.output, "domain-controllers"));
        if (names.empty()) {  // adcli lists them only when it looked them up itself
            names = probed.listed;
        }
        for (const std::string& name : names) {
            if (StartsWithIgnoringCase(name, selector)) {
                chosen = name;
                break;
            }
        }
    }
    if (chosen.empty()) {
        Fail(ORVAUTH_STATUS_NO_LOGON_SERVERS);
    }
    return chosen;
}

}  // namespace adclient
