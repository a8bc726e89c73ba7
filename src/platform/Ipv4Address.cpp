#include <platform/Ipv4Address.h>

namespace NodeCtl {
namespace Network {

namespace {

// Parses the strict dotted-quad form; false for anything else.
bool Parse(const std::string& text, uint32_t& result)
{
    uint32_t value = 0;
    size_t position = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (position >= text.size() || text[position] != '.') {
                return false;
            }
            ++position;
        }
        size_t begin = position;
        unsigned number = 0;
        while (position < text.size() && text[position] >= '0' && text[position] <= '9' &&
               position - begin < 3) {
            number = number * 10 + static_cast<unsigned>(text[position] - '0');
            ++position;
        }
        size_t digits = position - begin;
        if (digits == 0 || number > 255 || (digits > 1 && text[begin] == '0')) {
            return false;
        }
        value = (value << 8) | number;
    }
    if (position != text.size()) {
        return false;
    }
    result = value;
    return true;
}

}  // namespace

Ipv4Address::Ipv4Address() : value(0) {}

Ipv4Address::Ipv4Address(uint32_t hostOrder) : value(hostOrder) {}

Ipv4Address::Ipv4Address(const std::string& text) : value(0)
{
    if (!Parse(text, value)) {
        throw Lib::NodeCtlException("'" + text + "' is not a valid IPv4 address");
    }
}

bool Ipv4Address::IsValidAddress(std::string text)
{
    uint32_t ignored;
    return Parse(text, ignored);
}

std::string Ipv4Address::GetStringAddress() const
{
    return std::to_string(value >> 24) + "." + std::to_string((value >> 16) & 0xff) + "." +
           std::to_string((value >> 8) & 0xff) + "." + std::to_string(value & 0xff);
}

}  // namespace Network
}  // namespace NodeCtl
