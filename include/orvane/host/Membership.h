// Joining and leaving the domain the way an operator means it. A join
// records the directory client's settings first (put back when it fails)
// and then gives the host what the membership brings: its ID mapping, its
// DNS records when asked, the directory store made active when asked. A
// leave takes all of that away, the configuration store's membership record
// too (the library's own leave with credentials keeps it).
#pragma once

#include <orvane/authentication/ActiveDirectoryClient.h>
#include <orvane/host/Export.h>
#include <orvane/host/HostFiles.h>
#include <orvane/host/IdMapping.h>
#include <orvane/host/JoinSettings.h>

#include <iosfwd>
#include <stdexcept>
#include <string>

namespace orvane::host {

// Neither the directory client nor the configuration store knows of a
// membership; nothing was changed.
class ORVAUTHHOST_API NotJoined : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The host joined, but registering its DNS records failed (SSSD tries
// again when it starts); what() says why.
class ORVAUTHHOST_API JoinedWithoutDnsRecords : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// What a join asks for beyond the domain and the secret.
struct JoinChoices {
    JoinSettings settings;                 // LDAPS only, the account's description
    IdMapping idMapping = IdMapping::Sid;  // where users' and groups' IDs come from
    bool dnsUpdate = false;                // register the host's records now, and have SSSD keep them
    bool activate = false;                 // make the directory store the active one
    bool skipHostnameCheck = false;        // leave the host's name, hosts file and search list alone
};

// Joins domain ("<domain>[/<ou>]") as credentials' user, or with the
// one-time password of the computer account an administrator preset for
// the host. Every change is said on report. Throws what the library's join
// throws (nothing changed then), std::runtime_error when the ID mapping
// cannot be set after the join (leave and join again), and
// JoinedWithoutDnsRecords.
ORVAUTHHOST_API void JoinDomain(const std::string& domain, const Credentials& credentials, JoinChoices& choices,
                                std::ostream& report, const HostFiles& files = HostFiles::Defaults());
ORVAUTHHOST_API void JoinDomainWithOneTimePassword(const std::string& domain, const char* oneTimePassword,
                                                   JoinChoices& choices, std::ostream& report,
                                                   const HostFiles& files = HostFiles::Defaults());

// With credentials, the host's DNS records (when it registered them) and
// then the machine account are removed from the directory with them;
// without (null), both stay there, which report says. A leave that was
// interrupted after the directory client let go completes by removing the
// record. The domain's ID mapping choice (IdMapping.h) goes with it.
ORVAUTHHOST_API void LeaveDomain(const Credentials* credentials, std::ostream& report,
                                 const HostFiles& files = HostFiles::Defaults());

}  // namespace orvane::host
