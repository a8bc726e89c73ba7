// The host's own name as the system reports it and as the resolver knows
// it: one routine for the library's host-name check, its join through an
// authentication proxy and the directory plug-in's enrolment, so that all of
// them name the host alike.
#pragma once

#include <string>

namespace orvauth_base {

struct HostIdentity {
    std::string hostName;      // as gethostname reports it, possibly dotted
    std::string resolvedName;  // the resolver's official name for hostName
    std::string shortName;     // hostName up to its first '.'
};

// Reads and resolves the host name afresh. Returns "" or what failed:
// "unable to get hostname", the resolver's error text, or "hostname cannot
// be resolved"; hostName and shortName are filled whenever gethostname
// answered.
std::string ReadHostIdentity(HostIdentity& identity);

}  // namespace orvauth_base
