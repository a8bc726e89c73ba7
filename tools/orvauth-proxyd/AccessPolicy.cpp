#include "AccessPolicy.h"
#include "base/AsciiText.h"

#include <ldap.h>

#include <algorithm>
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

bool SameDN(const std::string& a, const std::string& b) { return Depth(a, b) == std::optional<std::size_t>(0); }

bool IsDirectlyInAny(const std::string& dn, const std::vector<std::string>& containers)
{
    return std::any_of(containers.begin(), containers.end(),
                       [&](const std::string& container) { return Depth(dn, container) == std::optional<std::size_t>(1); });
}

}  // namespace orvauth_proxyd
