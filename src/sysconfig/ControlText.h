// Control text parsing, shared by PAMControl and the policy reader (which
// moves a bracketed text into its control instead of copying it).
#pragma once

#include <SystemConfiguration/PAMControl.h>

#include <string>

namespace SystemConfiguration {
namespace detail {

inline constexpr char CONTROL_PREFIX[] = "Invalid Control: ";

// A text starting with '[' and ending with ']' is bracketed (even "[]");
// otherwise the first of the six names it equals. Anything else throws
// InvalidControlException("Invalid Control: " + text).
PAMControl::Control ParseControl(const std::string& text);

}  // namespace detail
}  // namespace SystemConfiguration
