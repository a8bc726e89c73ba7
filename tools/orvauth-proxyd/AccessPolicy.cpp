#include "AccessPolicy.h"
#include "base/AsciiText.h"

#include <ldap.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <optional>
#include <strings.h>

namespace orvauth_proxyd {

namespace {

using orvauth_base::ToLower;

// Each RDN as its sorted "type=value" pairs, lower-cased, in DN order (the
// leaf first). Empty for text that is not a DN.
using ParsedDN = std::vector<std::vector<std::string>>;

std::optional<ParsedDN> Parse(const std::string& dn)
{
    LDAPDN parsed = nullptr;
    if (dn.empty() || dn.find('\0') != std::string::npos ||
        ldap_str2dn(dn.c_str(), &parsed, LDAP_DN_FORMAT_LDAPV3) != LDAP_SUCCESS || parsed == nullptr) {
        if (parsed != nullptr) {
            ldap_dnfree(parsed);
        }
        return std::nullopt;
    }
    std::unique_ptr<LDAPRDN, void (*)(LDAPDN)> owner(parsed, ldap_dnfree);
    ParsedDN result;
    for (int i = 0; parsed[i] != nullptr; ++i) {
        std::vector<std::string> rdn;
        for (int j = 0; parsed[i][j] != nullptr; ++j) {
            const LDAPAVA* ava = parsed[i][j];
            rdn.push_back(ToLower(std::string(ava->la_attr.bv_val, ava->la_attr.bv_len)) + "=" +
                          ToLower(std::string(ava->la_value.bv_val, ava->la_value.bv_len)));
        }
        std::sort(rdn.begin(), rdn.end());
        result.push_back(std::move(rdn));
    }
    return result;
}

// How many RDNs dn has beyond container when container is its suffix.
std::optional<std::size_t> Depth(const std::string& dn, const std::string& container)
{
    const auto leaf = Parse(dn);
    const auto parent = Parse(container);
    if (!leaf || !parent || leaf->size() < parent->size() ||
        !std::equal(parent->rbegin(), parent->rend(), leaf->rbegin())) {
        return std::nullopt;
    }
    return leaf->size() - parent->size();
}

}  // namespace

bool IsPlainWorkstationAccount(unsigned long userAccountControl)
{
    return (userAccountControl & UAC_WORKSTATION_TRUST) != 0 && (userAccountControl & UAC_NOT_PLAIN_WORKSTATION) == 0;
}

bool IsReservedComputerName(const std::string& computerName)
{
    for (const char* reserved : {"krbtgt", "administrator", "guest"}) {
        if (strcasecmp(computerName.c_str(), reserved) == 0) {
            return true;
        }
    }
    return false;
}

std::string ManagedMarker(const std::string& hostName) { return MANAGED_MARKER_PREFIX + ToLower(hostName); }

bool IsMarkedForHost(const std::vector<std::string>& marks, const std::string& hostName)
{
    const std::string wanted = ManagedMarker(hostName);
    return !hostName.empty() && marks.size() == 1 && marks.front().size() == wanted.size() &&
           strcasecmp(marks.front().c_str(), wanted.c_str()) == 0;
}

bool HostNameMatchesCertificate(const std::string& requested, const std::string& certificateName)
{
    return !certificateName.empty() && requested.size() == certificateName.size() &&
           strcasecmp(requested.c_str(), certificateName.c_str()) == 0;
}

std::string PasswordRecord(const std::string& pwdLastSet, const std::string& keyVersion)
{
    return PASSWORD_RECORD_PREFIX + pwdLastSet + ", key version " + keyVersion;
}

namespace {

// A decimal number of the directory's, or nothing.
std::optional<unsigned long long> Decimal(const std::string& text)
{
    if (text.empty() || text.size() > 19 || text.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    return std::strtoull(text.c_str(), nullptr, 10);
}

// The set the record names, or the account's password is another one:
// the host's own change at its join, one key version later and soon after.
bool PasswordIsTheRecordedOne(const std::string& record, const ExistingAccount& account)
{
    const std::string prefix = PASSWORD_RECORD_PREFIX, separator = ", key version ";
    const std::size_t split = record.find(separator);
    const auto setAt = Decimal(record.substr(prefix.size(), split - std::min(split, prefix.size())));
    const auto version = split == std::string::npos ? std::nullopt : Decimal(record.substr(split + separator.size()));
    const auto now = Decimal(account.pwdLastSet);
    const auto nowVersion = Decimal(account.keyVersion);
    if (!setAt || !version || !now || !nowVersion) {
        return false;
    }
    return *now == *setAt ||
           (*nowVersion == *version + 1 && *now > *setAt && *now - *setAt <= JOIN_CHANGE_TICKS);
}

}  // namespace

std::string PasswordTimeText(const std::string& pwdLastSet)
{
    constexpr unsigned long long TICKS_PER_SECOND = 10000000, SECONDS_1601_TO_1970 = 11644473600ULL;
    char* end = nullptr;
    const unsigned long long ticks = std::strtoull(pwdLastSet.c_str(), &end, 10);
    std::tm parts{};
    const std::time_t seconds = static_cast<std::time_t>(ticks / TICKS_PER_SECOND - SECONDS_1601_TO_1970);
    char text[32] = "";
    if (pwdLastSet.empty() || *end != '\0' || ticks / TICKS_PER_SECOND < SECONDS_1601_TO_1970 ||
        gmtime_r(&seconds, &parts) == nullptr || std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &parts) == 0) {
        return "\"" + pwdLastSet + "\"";
    }
    return std::string(text) + " (" + pwdLastSet + ")";
}

std::optional<std::string> ReasonNotToReset(const ExistingAccount& account, const std::string& hostName,
                                            const std::string& serviceSid,
                                            const std::vector<std::string>& allowedContainers)
{
    const std::string& dn = account.dn;
    if (!account.computer) {
        return dn + " is not a computer: the name is taken";
    }
    if (!IsPlainWorkstationAccount(account.userAccountControl)) {
        return dn + " is not a plain workstation account (userAccountControl " +
               std::to_string(account.userAccountControl) + ")";
    }
    // The mark is a label anyone who may create the object can write: only
    // the owner the directory names proves who created it.
    if (serviceSid.empty() || account.ownerSid != serviceSid) {
        return dn + " is owned by " + (account.ownerSid.empty() ? "an owner the directory did not tell" : account.ownerSid) +
               ", not by the service's account " + serviceSid;
    }
    if (!IsMarkedForHost(account.marks, hostName)) {
        return dn + " was not created by this service for " + hostName;
    }
    if (account.dnsHostNames.size() != 1 || !HostNameMatchesCertificate(hostName, account.dnsHostNames.front())) {
        return dn + " has dNSHostName \"" + (account.dnsHostNames.empty() ? "" : account.dnsHostNames.front()) +
               "\", not " + hostName;
    }
    if (!IsDirectlyInAny(dn, allowedContainers)) {
        return dn + " is outside the allowed containers";
    }
    const std::string prefix = PASSWORD_RECORD_PREFIX;
    for (const std::string& record : account.records) {
        if (record.compare(0, prefix.size(), prefix) == 0 && !PasswordIsTheRecordedOne(record, account)) {
            const std::string recorded = record.substr(prefix.size());
            return dn + ": its password was set at " + PasswordTimeText(account.pwdLastSet) + " (key version " +
                   account.keyVersion + ") by someone else; the service set it at " +
                   PasswordTimeText(recorded.substr(0, recorded.find(','))) + recorded.substr(std::min(recorded.find(','), recorded.size()));
        }
    }
    return std::nullopt;
}

bool IsUnderDnsSuffix(const std::string& hostName, const std::vector<std::string>& suffixes)
{
    return std::any_of(suffixes.begin(), suffixes.end(), [&](const std::string& suffix) {
        const std::size_t start = hostName.size() - std::min(hostName.size(), suffix.size());
        return !suffix.empty() && hostName.size() > suffix.size() + 1 && hostName[start - 1] == '.' &&
               strcasecmp(hostName.c_str() + start, suffix.c_str()) == 0;
    });
}

std::string PrivilegedGroup(const std::vector<std::string>& tokenGroups)
{
    const auto endsWith = [](const std::string& sid, const char* rid) {
        const std::string tail = std::string("-") + rid;
        return sid.rfind("S-1-5-21-", 0) == 0 && sid.size() > tail.size() &&
               sid.compare(sid.size() - tail.size(), tail.size(), tail) == 0;
    };
    for (const std::string& sid : tokenGroups) {
        if (endsWith(sid, "512")) {
            return "Domain Admins (" + sid + ")";
        }
        if (endsWith(sid, "519")) {
            return "Enterprise Admins (" + sid + ")";
        }
        if (sid == "S-1-5-32-544") {
            return "Administrators (S-1-5-32-544)";
        }
        if (sid == "S-1-5-32-548") {
            return "Account Operators (S-1-5-32-548)";
        }
    }
    return "";
}

bool SameDN(const std::string& a, const std::string& b) { return Depth(a, b) == std::optional<std::size_t>(0); }

bool IsDirectlyInAny(const std::string& dn, const std::vector<std::string>& containers)
{
    return std::any_of(containers.begin(), containers.end(),
                       [&](const std::string& container) { return Depth(dn, container) == std::optional<std::size_t>(1); });
}

}  // namespace orvauth_proxyd
