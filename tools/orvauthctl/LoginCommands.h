// logins enable | disable | status: directory users in the host's
// name-service switch and PAM files.
#pragma once

#include "Command.h"

namespace orvauthctl {

extern const char* const DEFAULT_NSSWITCH_CONF;  // /etc/nsswitch.conf
extern const char* const DEFAULT_PAM_DIR;        // /etc/pam.d

std::vector<Command> LoginCommands();

// Takes --nsswitch-conf and --pam-dir from the global options (UsageError
// for an empty path).
void ApplyLoginFileSettings(const ParsedArguments& global);

}  // namespace orvauthctl
