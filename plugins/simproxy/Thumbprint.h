// Certificate thumbprints in the library's text form: the SHA-1 digest of
// the certificate's DER encoding, twenty upper-case hexadecimal byte pairs
// joined by ':'.
#pragma once

#include <string>

namespace orvauth_plugin {

// True for text of exactly that shape, in either case.
bool IsThumbprintText(const std::string& text);

// The thumbprint of the first PEM certificate in the file at path, or ""
// when the file cannot be read or holds no certificate.
std::string ThumbprintOfCertificateFile(const std::string& path);

}  // namespace orvauth_plugin
