#include "simdirectory/SimulatedDomain.h"

#include "common/Names.h"
#include "common/StatusError.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <iterator>

namespace orvauth_plugin {

namespace {

const char* const KNOWN_KEYS[] = {
    keys::DOMAIN,           keys::NETBIOS,         keys::SID,          keys::USER,
    keys::CONTROLLER,       keys::PREFERRED_CONTROLLER, keys::TRUSTED_DOMAIN, keys::TRUST_STATE,
    keys::MACHINE_ACCOUNT,  keys::SMARTCARD_SERVICE,   keys::JOINED_DOMAIN,  keys::JOINED_OU,
    keys::JOINED_HOST,      keys::MACHINE_ACCOUNT_DN,
};

// Decimal, or hexadecimal with 0x; the whole text must be a number that
// fits 32 bits.
bool ParseNumber(const std::string& text, std::uint32_t& value)
{
    if (text.empty() || text[0] == '-' || text[0] == '+') {
        return false;
    }
    errno = 0;
    char* end = nullptr;
    const unsigned long long parsed = std::strtoull(text.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || parsed > 0xffffffffull) {
        return false;
    }
    value = static_cast<std::uint32_t>(parsed);
    return true;
}

// A trusted_domain line: DNS name, NetBIOS name, optional relationship.
bool ParseTrustedDomain(const std::string& line, KnownDomain& domain)
{
    const std::vector<std::string> words = SplitWords(line);
    if (words.size() < 2 || words.size() > 3) {
        return false;
    }
    domain.dnsName = words[0];
    domain.netbiosName = words[1];
    domain.relationship = RELATIONSHIP_TRUSTED_DOMAIN;
    return words.size() == 2 || ParseNumber(words[2], domain.relationship);
}

bool EndsWithIgnoringCase(const std::string& text, const std::string& suffix)
{
    return text.size() >= suffix.size() && EqualsIgnoringCase(text.substr(text.size() - suffix.size()), suffix);
}

}  // namespace

SimulatedDomain SimulatedDomain::Load(const std::string& path)
{
    SimulatedDomain domain;
    domain.path = path;
    domain.state = StateFile::Read(path);
    for (const std::string& key : domain.state.Keys()) {
        if (std::none_of(std::begin(KNOWN_KEYS), std::end(KNOWN_KEYS), [&](const char* known) { return key == known; })) {
            Fail(ORVAUTH_STATUS_INTERNAL_ERROR);
        }
    }
    for (const std::string& user : domain.state.RawValues(keys::USER)) {
        if (user.find(':') == std::string::npos) {
            Fail(ORVAUTH_STATUS_INTERNAL_ERROR);
        }
    }
    for (const std::string& line : domain.state.Values(keys::TRUSTED_DOMAIN)) {
        KnownDomain trusted;
        if (!ParseTrustedDomain(line, trusted)) {
            Fail(ORVAUTH_STATUS_INTERNAL_ERROR);
        }
    }
    std::uint32_t trustState = 0;
    if (domain.state.Has(keys::TRUST_STATE) && !ParseNumber(domain.state.Value(keys::TRUST_STATE), trustState)) {
        Fail(ORVAUTH_STATUS_INTERNAL_ERROR);
    }
    domain.dnsName = domain.state.Value(keys::DOMAIN);
    domain.netbiosName = domain.state.Value(keys::NETBIOS);
    return domain;
}

void SimulatedDomain::Save() const { state.Write(path); }

bool SimulatedDomain::IsJoined() const { return !state.Value(keys::JOINED_DOMAIN).empty(); }

bool SimulatedDomain::IsOwnDomain(const std::string& name) const
{
    return !name.empty() && ((!dnsName.empty() && EqualsIgnoringCase(name, dnsName)) ||
                             (!netbiosName.empty() && EqualsIgnoringCase(name, netbiosName)));
}

bool SimulatedDomain::Find(const std::string& name, KnownDomain& found) const
{
    if (IsOwnDomain(name)) {
        found.dnsName = dnsName;
        found.netbiosName = netbiosName;
        found.own = true;
        found.relationship = RELATIONSHIP_OWN_DOMAIN;
        return true;
    }
    if (!IsJoined() || name.empty()) {
        return false;
    }
    for (const std::string& line : state.Values(keys::TRUSTED_DOMAIN)) {
        KnownDomain trusted;
        ParseTrustedDomain(line, trusted);
        if (EqualsIgnoringCase(name, trusted.dnsName) || EqualsIgnoringCase(name, trusted.netbiosName)) {
            found = trusted;
            return true;
        }
    }
    return false;
}

void SimulatedDomain::CheckCredentials(const Credentials& credentials) const
{
    if (credentials.userName == nullptr) {
        Fail(ORVAUTH_STATUS_NO_SUCH_USER);
    }
    std::string name = credentials.userName;
    const std::string::size_type backslash = name.find('\\');
    const std::string::size_type at = name.rfind('@');
    if (backslash != std::string::npos) {
        if (!IsOwnDomain(name.substr(0, backslash))) {
            Fail(ORVAUTH_STATUS_NO_SUCH_USER);
        }
        name = name.substr(backslash + 1);
    } else if (at != std::string::npos) {
        if (!IsOwnDomain(name.substr(at + 1))) {
            Fail(ORVAUTH_STATUS_NO_SUCH_USER);
        }
        name = name.substr(0, at);
    }
    const std::string password = credentials.password == nullptr ? "" : credentials.password;
    for (const std::string& user : state.RawValues(keys::USER)) {
        const std::string::size_type colon = user.find(':');
        const std::vector<std::string> words = SplitWords(user.substr(0, colon));
        if (name.empty() || words.size() != 1 || !EqualsIgnoringCase(words[0], name)) {
            continue;
        }
        if (user.compare(colon + 1, std::string::npos, password) != 0) {
            Fail(ORVAUTH_STATUS_LOGON_FAILURE);
        }
        return;
    }
    Fail(ORVAUTH_STATUS_NO_SUCH_USER);
}

void SimulatedDomain::RecordJoin(const std::string& hostName, const std::string& organizationalUnit,
                                 const std::string& machineAccountDN)
{
    state.Set(keys::JOINED_DOMAIN, dnsName);
    if (organizationalUnit.empty()) {
        state.Remove(keys::JOINED_OU);
    } else {
        state.Set(keys::JOINED_OU, organizationalUnit);
    }
    state.Set(keys::JOINED_HOST, hostName);
    state.Set(keys::MACHINE_ACCOUNT_DN, machineAccountDN);
    std::vector<std::string> accounts = state.Values(keys::MACHINE_ACCOUNT);
    const std::string account = AccountNameForHost(hostName);
    if (std::none_of(accounts.begin(), accounts.end(),
                     [&](const std::string& existing) { return EqualsIgnoringCase(existing, account); })) {
        accounts.push_back(account);
        state.Replace(keys::MACHINE_ACCOUNT, accounts);
    }
}

void SimulatedDomain::RecordLeave(bool deleteAccount)
{
    if (deleteAccount) {
        const std::string account = AccountNameForHost(JoinedHost());
        std::vector<std::string> accounts = state.Values(keys::MACHINE_ACCOUNT);
        accounts.erase(std::remove_if(accounts.begin(), accounts.end(),
                                      [&](const std::string& existing) { return EqualsIgnoringCase(existing, account); }),
                       accounts.end());
        state.Replace(keys::MACHINE_ACCOUNT, accounts);
    }
    state.Remove(keys::JOINED_DOMAIN);
    state.Remove(keys::JOINED_OU);
    state.Remove(keys::JOINED_HOST);
    state.Remove(keys::MACHINE_ACCOUNT_DN);
}

std::pair<std::string, std::string> SimulatedDomain::ActiveDomain() const
{
    const std::string joined = state.Value(keys::JOINED_DOMAIN);
    return {joined, EqualsIgnoringCase(joined, dnsName) ? netbiosName : std::string()};
}

std::string SimulatedDomain::MachineAccountDN() const { return state.Value(keys::MACHINE_ACCOUNT_DN); }

std::string SimulatedDomain::JoinedHost() const { return state.Value(keys::JOINED_HOST); }

std::vector<std::pair<std::string, std::string>> SimulatedDomain::TrustedDomains() const
{
    std::vector<std::pair<std::string, std::string>> domains;
    for (const std::string& line : state.Values(keys::TRUSTED_DOMAIN)) {
        KnownDomain trusted;
        ParseTrustedDomain(line, trusted);
        domains.emplace_back(trusted.dnsName, trusted.netbiosName);
    }
    return domains;
}

TrustState SimulatedDomain::GetTrustState() const
{
    std::uint32_t value = 0;
    ParseNumber(state.Value(keys::TRUST_STATE), value);
    return value;
}

std::vector<std::string> SimulatedDomain::ControllersOf(const KnownDomain& domain) const
{
    std::vector<std::string> controllers;
    if (domain.own) {
        controllers = state.Values(keys::PREFERRED_CONTROLLER);
    }
    for (const std::string& controller : state.Values(keys::CONTROLLER)) {
        if (EndsWithIgnoringCase(controller, "." + domain.dnsName)) {
            controllers.push_back(controller);
        }
    }
    return controllers;
}

}  // namespace orvauth_plugin
