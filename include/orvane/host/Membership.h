// Leaving the domain the way an operator means it: the host is out, so the
// membership record of the configuration store goes too (the library's own
// leave with credentials keeps it).
#pragma once

#include <orvane/authentication/ActiveDirectoryClient.h>
#include <orvane/host/Export.h>
#include <orvane/host/HostFiles.h>

#include <stdexcept>

namespace orvane::host {

// Neither the directory client nor the configuration store knows of a
// membership; nothing was changed.
class ORVAUTHHOST_API NotJoined : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// With credentials, the machine account is removed from the directory with
// them; without (null), it stays there. A leave that was interrupted after
// the directory client let go completes by removing the record. The
// domain's ID mapping choice (IdMapping.h) goes with it.
ORVAUTHHOST_API void LeaveDomain(const Credentials* credentials, const HostFiles& files = HostFiles::Defaults());

}  // namespace orvane::host
