// The machine account as the directory plug-in's sssd.conf names it: the
// host keytab, the account's principal and the host's name in the domain.
// What the host integration needs of the membership beyond the library's
// interface (DNS registration, the password's age).
#pragma once

#include <orvane/host/HostFiles.h>

#include <ctime>
#include <string>

namespace orvane::host {

struct MachineAccount {
    std::string hostName;  // fully qualified, lower case
    std::string principal;
    std::string keytab;
    // What the domain's users get: their homes (SSSD's template) and the
    // shell of those the directory gives none; empty: not in the file.
    std::string homeDirectory, defaultShell;
};

// Throws std::runtime_error saying what is missing and what to do.
MachineAccount ReadMachineAccount(const HostFiles& files, const std::string& domain);

// The newest key of principal in keytab: its version and when the keytab
// got it. Throws std::runtime_error naming the keytab when it cannot be read
// or holds no key of principal.
void NewestKey(const std::string& keytab, const std::string& principal, int& keyVersion, std::time_t& setAt);

}  // namespace orvane::host
