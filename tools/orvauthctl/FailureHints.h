// What to fix after a command failed: the tool knows where its library's
// messages come from (the configuration file and key, the account it runs
// as, the domain and host in question) and says so in a line of its own.
#pragma once

#include "Arguments.h"

#include <exception>
#include <string>
#include <vector>

namespace orvauthctl {

// The cause and the fix for command's failure with error, one line each
// where known; empty when the library's message is all there is to say.
std::vector<std::string> FailureHints(const std::string& command, const ParsedArguments& arguments,
                                      const std::exception& error);

}  // namespace orvauthctl
