// The management group a PAM rule belongs to: account, auth, password or
// session.
#pragma once

#include <orvane/authentication/Export.h>

#include <iosfwd>
#include <string>

namespace SystemConfiguration {

class ORVAUTH_API PAMFacility {
public:
    // The numbers fix the order of facilities in a policy: account sorts
    // before auth.
    enum Facility : int {
        Unset = 0,
        Account = 1,
        Auth = 2,
        Password = 3,
        Session = 4
    };

    PAMFacility();
    PAMFacility(Facility facility);
    // Names are compared case-sensitively; "@include" and "-auth" are not
    // facilities. Throws InvalidFacilityException("Invalid Facility: " + name).
    PAMFacility(const std::string& name);
    // Trivially copyable, so it costs no more than the number as a map key.
    PAMFacility(const PAMFacility& other) = default;
    PAMFacility& operator=(const PAMFacility& other) = default;
    ~PAMFacility() = default;

    PAMFacility& operator=(Facility facility);
    // Throws like the constructor; *this keeps its value on failure.
    PAMFacility& operator=(const std::string& name);

    bool operator==(const PAMFacility& other) const { return facility == other.facility; }
    bool operator!=(const PAMFacility& other) const { return facility != other.facility; }
    // Looks the name up first, so an unknown name throws.
    bool operator==(const std::string& name) const;
    bool operator!=(const std::string& name) const { return !(*this == name); }
    bool operator==(Facility other) const { return facility == other; }
    bool operator!=(Facility other) const { return facility != other; }
    // Numeric order, the order in which a policy keeps and writes its stacks.
    bool operator<(const PAMFacility& other) const { return facility < other.facility; }

    // Unset, or a value outside the enumeration, throws
    // InvalidFacilityException with "Invalid Facility: " followed by the
    // numeric value in decimal (e.g. "Invalid Facility: 0").
    operator std::string() const;
    operator Facility() const { return facility; }

private:
    Facility facility;
};

// Writes the name alone: no separator, no line feed.
ORVAUTH_API std::ostream& operator<<(std::ostream& out, const PAMFacility& facility);
// Reads one white-space-delimited word and assigns it by name. An unknown
// word, or the empty word a failed read leaves at the end of the input,
// throws InvalidFacilityException.
ORVAUTH_API std::istream& operator>>(std::istream& in, PAMFacility& facility);

}  // namespace SystemConfiguration
