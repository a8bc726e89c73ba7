// One rule of a PAM policy without its facility: control, module and the
// module's arguments.
#pragma once

#include <SystemConfiguration/PAMControl.h>
#include <orvane/authentication/Export.h>

#include <iosfwd>
#include <list>
#include <string>

namespace SystemConfiguration {

class PAMEntry;
ORVAUTH_API std::istream& operator>>(std::istream& in, PAMEntry& entry);

class ORVAUTH_API PAMEntry {
public:
    PAMEntry();
    PAMEntry(PAMControl control, std::string module);
    PAMEntry(const PAMEntry& other) = default;
    PAMEntry& operator=(const PAMEntry& other) = default;
    PAMEntry(PAMEntry&& other) noexcept = default;
    PAMEntry& operator=(PAMEntry&& other) noexcept = default;
    ~PAMEntry() = default;

    // Controls match by kind only: two rules differing just in the text of
    // their bracketed controls are the same rule for this comparison.
    // Modules and arguments must be byte-equal, in order.
    bool operator==(const PAMEntry& other) const;
    bool operator!=(const PAMEntry& other) const { return !(*this == other); }

    const PAMControl& control() const { return control_; }
    // The module path or name, or the target of an include.
    const std::string& module() const { return module_; }
    // Edited in place by callers; each argument is one word without white space.
    std::list<std::string>& parameters() { return parameters_; }
    const std::list<std::string>& parameters() const { return parameters_; }

private:
    friend std::istream& operator>>(std::istream& in, PAMEntry& entry);

    PAMControl control_;
    std::string module_;
    std::list<std::string> parameters_;
};

// Control text, tab, module, tab, then each argument followed by one space;
// no line feed. An unset control throws InvalidControlException.
ORVAUTH_API std::ostream& operator<<(std::ostream& out, const PAMEntry& entry);
// Reads a rule after its facility word: the control (a bracketed control may
// span several words and lines), the module (the next word, on a following
// line if need be), and the rest of the line as arguments, which are
// appended to the entry's existing ones.
//
// When the input ends right after the control there is no module to read;
// the entry's module is then set to the empty string. Such an entry is
// written back with nothing between its two tabs, and a later read of that
// text takes the next word of the file as its module, so it only survives a
// round trip as the last rule of the file.
// Throws InvalidControlException for an unknown or unclosed control.
ORVAUTH_API std::istream& operator>>(std::istream& in, PAMEntry& entry);

}  // namespace SystemConfiguration
