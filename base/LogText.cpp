#include "base/LogText.h"

namespace orvauth_base {

std::string LogText(const std::string& text, std::size_t limit)
{
    static const char HEX_DIGITS[] = "0123456789abcdef";
    const std::size_t shown = text.size() < limit ? text.size() : limit;
    std::string escaped;
    escaped.reserve(shown);
    for (std::size_t i = 0; i < shown; ++i) {
        const unsigned char byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x20 || byte == 0x7F) {
            escaped += "\\x";
            escaped += HEX_DIGITS[byte >> 4];
            escaped += HEX_DIGITS[byte & 0x0F];
        } else {
            escaped += text[i];
        }
    }
    return shown < text.size() ? escaped + "..." : escaped;
}

}  // namespace orvauth_base
