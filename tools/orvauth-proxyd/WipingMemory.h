// The TLS and LDAP libraries copy the one-time password and the service's
// directory password into buffers of their own; routing their allocations
// through these functions wipes every such block when it is freed.
#pragma once

namespace orvauth_proxyd {

// Must run before anything else uses OpenSSL or liblber. False when OpenSSL
// had already allocated memory.
bool WipeLibraryMemoryOnFree();

}  // namespace orvauth_proxyd
