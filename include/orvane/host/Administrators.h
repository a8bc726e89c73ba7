// Administrators of the host from the directory: users and groups who may
// run any command as root through sudo, kept in one drop-in of the sudoers
// directory that only this library writes. Being an administrator does not
// let anyone log in (who may log in stays LoginAccess.h's): the two are
// granted apart, as SSSD and the distribution's realm tool keep them.
#pragma once

#include <orvane/host/Export.h>
#include <orvane/host/LoginAccess.h>

#include <set>
#include <string>
#include <vector>

namespace orvane::host {

struct Administrators {
    std::set<std::string> users;   // fully qualified, lower case
    std::set<std::string> groups;  // fully qualified, lower case

    bool Empty() const { return users.empty() && groups.empty(); }
};

// The drop-in's name in the sudoers directory.
ORVAUTHHOST_API extern const char* const SUDOERS_DROP_IN;

// A name as one sudoers word: every byte outside letters, digits and
// "._@-" in sudoers' hexadecimal escape, so that a space, a comma (a list),
// '#' and digits (a user ID), '!', '%', '+', quotes or a backslash are
// read as part of the name; a group gets its '%'.
ORVAUTHHOST_API std::string SudoersWord(const std::string& name, bool group);

// The drop-in's text (one rule per name: any command as any user), and
// back. Parse throws std::runtime_error for a text the library did not
// write, which is then never replaced or removed.
ORVAUTHHOST_API std::string FormatSudoersDropIn(const Administrators& administrators);
ORVAUTHHOST_API Administrators ParseSudoersDropIn(const std::string& text);

// One line per administrator, for people: "group ops@example.test", ...
ORVAUTHHOST_API std::vector<std::string> DescribeAdministrators(const Administrators& administrators);

// The administrators that access does not name, one line each as
// DescribeAdministrators: being an administrator lets nobody log in, so
// these may need a logins permit (a user may still come in through a
// permitted group). None when everyone or the group policy decides.
ORVAUTHHOST_API std::vector<std::string> AdministratorsNotPermitted(const Administrators& administrators,
                                                                    const LoginAccess& access);

}  // namespace orvane::host
