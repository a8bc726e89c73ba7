// logins enable | disable | status | permit | deny: directory users in the
// host's name-service switch and PAM files, and who of them may log in.
#pragma once

#include "Command.h"

namespace orvauthctl {

extern const char* const DEFAULT_NSSWITCH_CONF;  // /etc/nsswitch.conf
extern const char* const DEFAULT_PAM_DIR;        // /etc/pam.d
extern const char* const DEFAULT_SSSD_CONF;      // fixed when the tool is built
extern const char* const DEFAULT_STATE_DIR;      // fixed when the tool is built

std::vector<Command> LoginCommands();

// Takes --nsswitch-conf, --pam-dir, --sssd-conf and --state-dir from the global options (UsageError
// for an empty path).
void ApplyLoginFileSettings(const ParsedArguments& global);

// The tool's state directory (--state-dir): the record of logins enable,
// the directory answers status keeps.
const std::string& StateDirectory();

}  // namespace orvauthctl
