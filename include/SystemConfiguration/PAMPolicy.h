// A PAM policy file: its rules grouped by facility.
#pragma once

#include <SystemConfiguration/PAMFacility.h>
#include <SystemConfiguration/PAMStack.h>
#include <orvane/authentication/Export.h>

#include <iosfwd>
#include <map>
#include <string>

namespace SystemConfiguration {

class ORVAUTH_API PAMPolicy {
public:
    // Keyed by facility number, so iteration yields account, auth, password,
    // session: the order the text form is written in.
    using Stacks = std::map<PAMFacility, PAMStack>;

    // The name is the caller's label (typically the service the policy
    // belongs to); it is never part of the text form.
    explicit PAMPolicy(const std::string& name);
    PAMPolicy(const PAMPolicy& other);
    PAMPolicy& operator=(const PAMPolicy& other);
    PAMPolicy(PAMPolicy&& other);
    PAMPolicy& operator=(PAMPolicy&& other);
    ~PAMPolicy();

    // The stack of that facility, created empty (with that facility) on
    // first use. The reference stays valid as long as the policy.
    PAMStack& operator[](PAMFacility facility);

    const std::string& GetName() const { return name; }
    const Stacks& GetStacks() const { return stacks; }

private:
    std::string name;
    Stacks stacks;
};

// Writes the normalised layout: "#%PAM-1.0", an empty line, then for each
// facility present (account, auth, password, session) its rules and one
// empty line. The name is not written.
ORVAUTH_API std::ostream& operator<<(std::ostream& out, const PAMPolicy& policy);
// Adds every rule of the text to the policy, never clearing what it holds.
// Comments are lines whose first non-blank character is '#'. A line whose
// first word is no facility ("@include ...", "-session ...") throws
// InvalidFacilityException, an unknown control InvalidControlException; the
// rules read before stay in the policy. A rule cut off by the end of the
// input right after its control is kept with an empty module (see the
// PAMEntry reader). Stream failures are left in the stream's state for the
// caller.
ORVAUTH_API std::istream& operator>>(std::istream& in, PAMPolicy& policy);

}  // namespace SystemConfiguration
