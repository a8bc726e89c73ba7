// The rules of one facility of a PAM policy, in line order.
#pragma once

#include <SystemConfiguration/PAMEntry.h>
#include <SystemConfiguration/PAMFacility.h>
#include <orvane/authentication/Export.h>

#include <deque>
#include <iosfwd>
#include <string>

namespace SystemConfiguration {

// A stack is a sequence of entries, so callers get the whole standard
// sequence interface (iteration, push at either end, insert, erase, size,
// empty) from the double-ended queue it is; all its entries belong to the
// one facility it carries.
class ORVAUTH_API PAMStack : public std::deque<PAMEntry> {
public:
    PAMStack();
    explicit PAMStack(const PAMFacility& facility);
    PAMStack(const PAMStack& other);
    PAMStack& operator=(const PAMStack& other);
    PAMStack(PAMStack&& other);
    PAMStack& operator=(PAMStack&& other);
    ~PAMStack();

    const PAMFacility& Facility() const { return facility; }

    // The first entry from the front whose module is byte-equal to the
    // argument (whole string, case-sensitive), or end().
    iterator find(const std::string& module);
    const_iterator find(const std::string& module) const;

private:
    PAMFacility facility;
};

// One line per entry: the stack's facility name, a tab, the entry, a line
// feed. An unset facility or control throws when its line is reached; the
// lines before it stay written.
ORVAUTH_API std::ostream& operator<<(std::ostream& out, const PAMStack& stack);

}  // namespace SystemConfiguration
