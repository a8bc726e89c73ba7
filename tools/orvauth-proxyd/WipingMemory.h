// The LDAP library copies the one-time password and the service's directory
// password into buffers of its own (the encoded requests); routing its
// allocations through these functions wipes every such block when it is
// freed. (OpenSSL is told to cleanse plaintext with SSL_OP_CLEANSE_PLAINTEXT.)
#pragma once

namespace orvauth_proxyd {

// Must run before anything else uses liblber.
bool WipeLibraryMemoryOnFree();

}  // namespace orvauth_proxyd
