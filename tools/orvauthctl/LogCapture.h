// The library and the plug-ins report the details of a failure (the
// directory client's own reason, for one) only in their syslog lines. The
// tool sees those lines too, so it can repeat the reason next to the
// library's message, and copy them all to standard error with --verbose.
#pragma once

#include <string>
#include <vector>

namespace orvauthctl {

// From now on every syslog line is also written to standard error.
void CopyLogToStandardError();

// The lines of priority LOG_WARNING or more urgent logged so far, oldest
// first (at most the last few). They never hold a secret: nothing logs one.
std::vector<std::string> LoggedProblems();

}  // namespace orvauthctl
