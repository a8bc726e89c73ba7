// The host's files the integration edits and where it keeps its records.
// Every operation of this library takes them from the object it is given,
// so that one process can manage a sandbox beside the real host.
#pragma once

#include <orvane/host/Export.h>

#include <string>

namespace orvane::host {

struct HostFiles {
    std::string nsswitchConf;    // the name-service switch file
    std::string pamDirectory;    // the directory of the PAM files
    std::string sssdConf;        // sssd.conf; its conf.d holds the login settings
    std::string stateDirectory;  // the record of logins enable, the directory's last answers
    std::string sudoersDirectory;  // sudo's drop-in directory: the directory's administrators

    // /etc/nsswitch.conf, /etc/pam.d, /etc/sudoers.d and the sssd.conf and state directory
    // fixed when the library was built.
    ORVAUTHHOST_API static HostFiles Defaults();
};

}  // namespace orvane::host
