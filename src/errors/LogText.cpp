#include "errors/LogText.h"

namespace orvane {
namespace authentication {

std::string LogText(const std::string& text)
{
    static const char HEX_DIGITS[] = "0123456789abcdef";
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            escaped += "\\x";
            escaped += HEX_DIGITS[byte >> 4];
            escaped += HEX_DIGITS[byte & 0x0F];
        } else {
            escaped += c;
        }
    }
    return escaped;
}

}  // namespace authentication
}  // namespace orvane
