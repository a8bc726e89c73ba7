// The host's own name as the system reports it and as the resolver knows
// it. Shared by the host-name validation and the join through an
// authentication proxy, which both need the same names and refusals.
#pragma once

#include <string>

namespace orvane {
namespace authentication {

struct HostIdentity {
    std::string hostName;      // as gethostname reports it, possibly dotted
    std::string resolvedName;  // the resolver's official name for hostName
    std::string shortName;     // hostName up to its first '.'
};

// Reads and resolves the host name afresh. Throws InvalidHostNameException
// with "unable to get hostname", the resolver's error text, or "hostname
// cannot be resolved".
HostIdentity ReadHostIdentity();

}  // namespace authentication
}  // namespace orvane
