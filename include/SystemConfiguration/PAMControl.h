// The control flag of one PAM rule: one of the six named kinds, or a
// bracketed control whose text is kept verbatim.
#pragma once

#include <orvane/authentication/Export.h>

#include <string>

namespace SystemConfiguration {

class ORVAUTH_API PAMControl {
public:
    enum Control : int {
        Unset = 0,
        Required = 1,
        Requisite = 2,
        Sufficient = 3,
        Optional = 4,
        Include = 5,
        Substack = 6,
        Bracketed = 7  // no name: the control's own text, e.g. "[success=1 default=ignore]"
    };

    PAMControl();
    PAMControl(Control control);
    // Stored as given, without validation, so a caller can build a
    // bracketed control from parts it already trusts.
    PAMControl(Control control, const std::string& text);
    PAMControl(Control control, std::string&& text);
    // A text starting with '[' and ending with ']' is a bracketed control;
    // otherwise it must be one of the names, compared case-sensitively.
    // Throws InvalidControlException("Invalid Control: " + text).
    PAMControl(const std::string& text);
    PAMControl(const PAMControl& other) = default;
    PAMControl& operator=(const PAMControl& other) = default;
    PAMControl(PAMControl&& other) noexcept = default;
    PAMControl& operator=(PAMControl&& other) noexcept = default;
    ~PAMControl() = default;

    // Sets the kind and empties the kept text.
    PAMControl& operator=(Control control);
    // Parses like the constructor; on failure throws and leaves *this as it was.
    PAMControl& operator=(const std::string& text);

    // Asymmetric on purpose: a named kind matches any control of the same
    // kind, a bracketed control only another bracketed control with the
    // byte-identical text.
    bool operator==(const PAMControl& other) const;
    bool operator!=(const PAMControl& other) const { return !(*this == other); }
    // A bracketed control compares its text byte for byte without parsing
    // the argument; a named kind parses the argument, so a text that is no
    // control throws InvalidControlException rather than yielding false.
    bool operator==(const std::string& text) const;
    bool operator!=(const std::string& text) const { return !(*this == text); }
    // Kind comparison; spelled out so that comparing with an enumerator is
    // not ambiguous with the conversion operators below.
    bool operator==(Control kind) const { return control == kind; }
    bool operator!=(Control kind) const { return control != kind; }

    // The name, or the kept text of a bracketed control. An unset kind or a
    // value outside the enumeration throws InvalidControlException with
    // "Invalid Control: " followed by the numeric value in decimal
    // (e.g. "Invalid Control: 0").
    operator std::string() const;
    operator Control() const { return control; }

private:
    Control control;
    std::string text;  // meaningful only for Bracketed
};

}  // namespace SystemConfiguration
