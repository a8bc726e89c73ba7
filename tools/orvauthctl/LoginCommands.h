// logins enable | disable | status | permit | deny, and renew: the words
// and the printing over the host integration library's logins.
#pragma once

#include "Command.h"

namespace orvauthctl {

std::vector<Command> LoginCommands();

}  // namespace orvauthctl
