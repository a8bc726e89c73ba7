// Text from callers, plug-ins, tools and resolvers on its way into syslog or
// a message.
#pragma once

#include <cstddef>
#include <string>

namespace orvauth_base {

// The text with every control byte (0x00-0x1F and 0x7F) written as \xHH,
// two lower-case hex digits, so that a name holding a newline stays on its
// own log line and cannot forge a line of its own. Everything else,
// backslashes and non-ASCII bytes included, is kept as it is, so ordinary
// names read in the log exactly as given. Text longer than limit bytes is
// cut there and ends in "...".
std::string LogText(const std::string& text, std::size_t limit = std::string::npos);

}  // namespace orvauth_base
