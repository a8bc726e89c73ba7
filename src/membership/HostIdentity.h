// The host's names for the host-name check and the join through an
// authentication proxy, read by the routine the plug-ins share.
#pragma once

#include "base/HostIdentity.h"

#include <orvane/authentication/Exceptions.h>

namespace orvane {
namespace authentication {

using orvauth_base::HostIdentity;

// Throws InvalidHostNameException with what failed.
inline HostIdentity ReadHostIdentity()
{
    HostIdentity identity;
    const std::string failure = orvauth_base::ReadHostIdentity(identity);
    if (!failure.empty()) {
        throw InvalidHostNameException(failure);
    }
    return identity;
}

}  // namespace authentication
}  // namespace orvane
