// Where the joined domain's users and groups get their numeric IDs: SSSD's
// mapping of their SIDs (each host computes them; the default), or the
// directory's own uidNumber and gidNumber (RFC 2307 attributes), the same on
// every host, as hosts sharing NFS datastores need. The posix choice is
// SSSD's ldap_id_mapping = False in a file of its own in SSSD's conf.d,
// which SSSD reads after the plug-in's sssd.conf: it belongs to the
// membership, not to the logins, so logins disable keeps it and leave
// removes it.
#pragma once

#include <orvane/host/Export.h>
#include <orvane/host/HostFiles.h>

#include <iosfwd>
#include <string>

namespace orvane::host {

enum class IdMapping { Sid, Posix };

ORVAUTHHOST_API const char* IdMappingName(IdMapping mapping);  // "sid", "posix"
// false for any other word than "sid" or "posix".
ORVAUTHHOST_API bool ParseIdMapping(const std::string& word, IdMapping& mapping);

// The settings file's text for domain: empty for sid, the file then goes.
ORVAUTHHOST_API std::string IdMappingSettings(const std::string& domain, IdMapping mapping);

// The joined domain's choice, written (or removed, for sid) with SSSD
// restarted, said on report. Throws std::runtime_error on a host that is
// not joined or when the file cannot be written.
ORVAUTHHOST_API void SetIdMapping(const HostFiles& files, IdMapping mapping, std::ostream& report);
// The choice the host has (sid when there is no file); std::runtime_error
// for a file the library did not write.
ORVAUTHHOST_API IdMapping GetIdMapping(const HostFiles& files);
// Removes the file, whatever domain it names (leave).
ORVAUTHHOST_API void ForgetIdMapping(const HostFiles& files, std::ostream& report);

// For people: the command that lists the domain's users without a
// uidNumber, which SSSD leaves out under posix.
ORVAUTHHOST_API std::string UsersWithoutPosixIdsCommand(const std::string& domain);

}  // namespace orvane::host
