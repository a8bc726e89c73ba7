// A read-only LDAP session with the joined domain's controller, bound with
// SASL/GSSAPI as the host's machine account. The account's ticket comes from
// the host keytab into a private in-memory credential cache that lives as
// long as the session, so neither a user's cache nor a file is touched.
#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace adclient {

struct MachineAccount {
    std::string controller;    // host name of the domain controller to ask
    std::string realm;         // Kerberos realm, upper case
    std::string computerName;  // the account's name without the trailing '$'
    std::string keytab;        // path of the host keytab
    bool useLdaps = false;     // LDAPS (TCP 636), the certificate checked as /etc/ldap/ldap.conf says
};

struct DirectoryEntry {
    std::string dn;
    std::map<std::string, std::vector<std::string>> attributes;  // names in lower case

    // The first value of an attribute, or "".
    std::string First(const std::string& name) const;
};

class DirectorySession {
public:
    // Throws orvauth_plugin::StatusError: 1355 when the controller or its KDC
    // cannot be reached, 10060 when it does not answer in time, 1787 when the
    // directory refuses the machine account, 1786 when the keytab holds no
    // key for it, 1398 for clock skew, 1359 otherwise. bound limits each
    // network step of libldap (connect, every request).
    DirectorySession(const MachineAccount& account, std::chrono::seconds bound);
    ~DirectorySession();
    DirectorySession(const DirectorySession&) = delete;
    DirectorySession& operator=(const DirectorySession&) = delete;

    // Subtree search below base. Throws StatusError as the constructor.
    std::vector<DirectoryEntry> Search(const std::string& base, const std::string& filter,
                                       const std::vector<std::string>& attributes);

private:
    struct Impl;
    std::unique_ptr<Impl> impl;
};

}  // namespace adclient
