// The host's Kerberos settings for the joined domain, in /etc/krb5.conf as
// the distribution keeps them: the domain's realm as the default, its KDCs
// found through DNS, no reverse look-ups of host names, and SSSD's include
// directory (its local-name mapping, without which sshd refuses a directory
// user's ticket). They are one marked block appended to the file, which
// leave takes out again so that the file is as it was byte for byte (a file
// the join created is removed). The library reads the first value of a
// relation, so settings the administrator wrote above the block win; the
// block only fills the gaps.
//
// The plug-in owns this edit as it owns its sssd.conf section: both follow
// the membership the plug-in records, and a join a killed process left half
// done completes them from the intent journal.
#pragma once

#include <stdexcept>
#include <string>

namespace adclient {

// Where SSSD writes its Kerberos snippets (sssd-krb5-common ships it).
constexpr const char* SSSD_KRB5_INCLUDES = "/var/lib/sss/pubconf/krb5.include.d/";

struct KerberosRealm {
    std::string realm;         // e.g. CORP.EXAMPLE.TEST
    std::string domain;        // e.g. corp.example.test
    std::string keytab;        // the host keytab; named when it is not the library's default
    bool sssdIncludes = true;  // whether SSSD_KRB5_INCLUDES exists (an include of a missing one breaks the library)
};

class KerberosConfigError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The text edits on the file's content. WithRealm replaces a block an
// earlier join left; WithoutRealm returns "" when nothing else remains.
std::string WithRealm(const std::string& current, const KerberosRealm& realm);
std::string WithoutRealm(const std::string& current);
// The default_realm the administrator's part of the file names, or "".
std::string AdministratorsDefaultRealm(const std::string& current);

class KerberosConfig {
public:
    explicit KerberosConfig(std::string path);
    // Adds the block (mode 0644 for a new file) and logs when the
    // administrator's default realm differs. Throws KerberosConfigError
    // when the file cannot be read or replaced (it is then unchanged).
    void Configure(const KerberosRealm& realm) const;
    // Takes the block out; removes a file that held nothing else.
    void Remove() const;

private:
    std::string path;
};

}  // namespace adclient
