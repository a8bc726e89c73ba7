// IPv4 addresses and interface IP configuration.
#pragma once

#include <platform/NodeCtlException.h>
#include <platform/PlatformExport.h>

#include <cstdint>
#include <string>

namespace NodeCtl {
namespace Network {

class ORVPLATFORM_API Ipv4Address {
public:
    // 0.0.0.0
    Ipv4Address();
    // Throws NodeCtl::Lib::NodeCtlException unless IsValidAddress(text).
    explicit Ipv4Address(const std::string& text);
    // The address in host byte order (0x7f000001 is 127.0.0.1).
    explicit Ipv4Address(uint32_t hostOrder);

    // True for exactly four dot-separated decimal numbers 0-255 and nothing
    // else: no blanks, signs, empty parts, hexadecimal or shortened forms.
    // A number with a leading zero ("01", "00") is refused, because other
    // parsers read it as octal; "0" itself is fine.
    static bool IsValidAddress(std::string text);

    // Dotted-decimal text, e.g. "192.0.2.10".
    std::string GetStringAddress() const;
    uint32_t GetValue() const { return value; }

    bool operator==(const Ipv4Address& other) const { return value == other.value; }
    bool operator!=(const Ipv4Address& other) const { return value != other.value; }

private:
    uint32_t value;
};

class ORVPLATFORM_API IpConfig {
public:
    IpConfig() = default;
    explicit IpConfig(const Ipv4Address& address) : address(address) {}

    Ipv4Address GetIpv4Address() const { return address; }

private:
    Ipv4Address address;
};

}  // namespace Network
}  // namespace NodeCtl
