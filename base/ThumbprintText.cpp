#include "base/ThumbprintText.h"

namespace orvauth_base {

std::string ThumbprintText(const unsigned char* digest, unsigned int length)
{
    static const char HEX[] = "0123456789ABCDEF";
    std::string text;
    for (unsigned int i = 0; i < length; ++i) {
        if (i > 0) {
            text += ':';
        }
        text += HEX[digest[i] >> 4];
        text += HEX[digest[i] & 0x0f];
    }
    return text;
}

}  // namespace orvauth_base
