// The text form of a certificate thumbprint the library compares: the
// digest's bytes as upper-case hexadecimal pairs joined by ':'.
#pragma once

#include <string>

namespace orvauth_base {

std::string ThumbprintText(const unsigned char* digest, unsigned int length);

}  // namespace orvauth_base
