// Who may log in, and the identity service's settings the host integration owns: kept
// in a file of its own in SSSD's snippet directory (conf.d), which SSSD
// reads after sssd.conf and lets override it. The plug-in's sssd.conf thus
// stays the plug-in's, and taking the tool's settings away is removing
// one file.
#pragma once

#include <orvane/host/Export.h>

#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace orvane::host {

enum class AccessMode {
    Nobody,        // access_provider = deny: the state after a join
    Listed,        // access_provider = simple with allow lists
    Everyone,      // access_provider = permit
    DomainPolicy,  // access_provider = ad: the domain's group policy logon rights decide
};

struct LoginAccess {
    AccessMode mode = AccessMode::Nobody;
    std::set<std::string> users;   // fully qualified, lower case
    std::set<std::string> groups;  // fully qualified, lower case
};

// The tool's SSSD settings for one domain. A negative number: not set,
// SSSD's or the plug-in's default applies.
struct SssdSnippet {
    std::string domain;  // DNS name; empty: no snippet
    LoginAccess access;
    int offlineDays = -1;      // [pam] offline_credentials_expiration
    int passwordAgeDays = -1;  // ad_maximum_machine_account_password_age
    // ad_machine_account_password_renewal_opts: "<period>:<first delay>" in
    // seconds, how often SSSD checks the password's age; empty: SSSD's.
    std::string renewalChecks;
    int dnsUpdate = -1;  // 1: SSSD keeps the host's DNS records (dyndns_update), 0: it does not
};

// SSSD refreshes the host's DNS records this often (dyndns_refresh_interval,
// seconds) while dnsUpdate is on.
constexpr int DNS_REFRESH_SECONDS = 3600;

class ORVAUTHHOST_API AccessRuleRefused : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The changes an operator asks for. Permit with names narrows "everyone" to
// the names (as the distribution's realm tool does); deny of the last name
// leaves nobody permitted, never everyone. Deny of a name while everyone is
// permitted is refused: there is no list to take it from.
ORVAUTHHOST_API void Permit(LoginAccess& access, const std::vector<std::string>& users, const std::vector<std::string>& groups);
ORVAUTHHOST_API void PermitAll(LoginAccess& access, AccessMode mode);  // Everyone or DomainPolicy
ORVAUTHHOST_API void Deny(LoginAccess& access, const std::vector<std::string>& users, const std::vector<std::string>& groups);
ORVAUTHHOST_API void DenyAll(LoginAccess& access);

// "user@domain" in lower case for "user", "user@domain" or "DOMAIN\user"
// (the NetBIOS prefix is dropped: the snippet names one domain).
ORVAUTHHOST_API std::string QualifiedName(const std::string& name, const std::string& domain);

// One line per permitted set, for people: "nobody", "everyone", ...
ORVAUTHHOST_API std::vector<std::string> DescribeAccess(const LoginAccess& access);
ORVAUTHHOST_API const char* AccessModeName(AccessMode mode);  // nobody, listed, everyone, domain-policy

// "<period>:<first delay>" in seconds in its plain spelling (no leading
// zeros), or std::invalid_argument saying what is wrong with it.
ORVAUTHHOST_API std::string RenewalChecks(const std::string& value);

// The snippet's text, and back. Parse throws std::runtime_error for a file
// that is not one the tool wrote (another section, an unknown key).
ORVAUTHHOST_API std::string FormatSnippet(const SssdSnippet& snippet);
ORVAUTHHOST_API SssdSnippet ParseSnippet(const std::string& text);

}  // namespace orvane::host
