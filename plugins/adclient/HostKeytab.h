// The host keytab, shared with whatever else keeps keys there (an nfs/ or
// HTTP/ service the administrator set up): the plug-in adds, renews and
// removes only the host's own entries. adcli never writes the keytab in
// place: it works on a copy beside it (the staged keytab), which replaces
// the keytab by a rename once adcli succeeded, so a process killed at any
// instant leaves the old keytab or the new one, and a staged copy that the
// next call settles (IntentJournal.h).
#pragma once

#include <string>

namespace adclient {

// The entries a membership owns: the machine account COMPUTER$ and the
// host/ and RestrictedKrbHost/ services on the computer name, the short
// host name and the full one, all in realm (as adcli registers them).
struct HostPrincipals {
    std::string realm, computerName, hostFqdn;
    // Whether "name[/instance]@realm" is one of them; nothing is when the
    // computer name is unknown.
    bool Own(const std::string& principal) const;
};

// The keytab adcli is given: the keytab's path with ".orvauth-new".
std::string StagedKeytabPath(const std::string& keytab);
// Copies the keytab (mode 0600) to its staged path; when there is no keytab
// yet, adcli creates the staged one. Throws StatusError 5 when that fails.
void StageKeytab(const std::string& keytab);
// Gives the staged keytab mode 0600 and renames it over the keytab. Throws
// StatusError 5 when that fails (the keytab is then unchanged).
void PromoteStagedKeytab(const std::string& keytab);
void DiscardStagedKeytab(const std::string& keytab);

// Rewrites the keytab without the host's entries (copy and rename), every
// other entry kept in order; a keytab that keeps nothing is removed. Throws
// StatusError 5 when the keytab cannot be read or replaced.
void RemoveHostKeys(const std::string& keytab, const HostPrincipals& host);

// The machine account a keytab holds keys for ("NAME$@REALM" gives NAME), or
// "" when it holds none or cannot be read.
std::string KeytabComputerName(const std::string& keytab);

}  // namespace adclient
