#include "base/LdapText.h"

#include <orvane/authentication/PluginStatus.h>

#include <ldap.h>

#include <new>

namespace orvauth_base {

std::string EscapedFilterValue(const std::string& value)
{
    struct berval in {static_cast<ber_len_t>(value.size()), const_cast<char*>(value.data())};
    struct berval out {0, nullptr};
    if (ldap_bv2escaped_filter_value(&in, &out) != 0) {
        throw std::bad_alloc();
    }
    std::string escaped(out.bv_val, out.bv_len);
    ldap_memfree(out.bv_val);
    return escaped;
}

std::uint32_t StatusOfLdapResult(int result)
{
    switch (result) {
    case LDAP_SERVER_DOWN:
    case LDAP_CONNECT_ERROR:
    case LDAP_TIMEOUT:
    case LDAP_UNAVAILABLE:
    case LDAP_BUSY:
        return ORVAUTH_STATUS_NO_SUCH_DOMAIN;
    case LDAP_INVALID_CREDENTIALS:
        return ORVAUTH_STATUS_LOGON_FAILURE;
    case LDAP_INSUFFICIENT_ACCESS:
    case LDAP_ALREADY_EXISTS:
        return ORVAUTH_STATUS_ACCESS_DENIED;
    case LDAP_CONSTRAINT_VIOLATION:
        return ORVAUTH_STATUS_PASSWORD_RESTRICTION;
    case LDAP_NO_SUCH_OBJECT:
    case LDAP_INVALID_DN_SYNTAX:
    case LDAP_NAMING_VIOLATION:
        return ORVAUTH_STATUS_INVALID_PARAMETER;
    default:
        return ORVAUTH_STATUS_INTERNAL_ERROR;
    }
}

std::string SidText(const std::string& binary)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(binary[i]); };
    if (binary.size() < 8 || binary.size() != 8 + 4 * static_cast<std::size_t>(byte(1))) {
        return "";
    }
    unsigned long long authority = 0;
    for (std::size_t i = 2; i < 8; ++i) {
        authority = authority << 8 | byte(i);
    }
    std::string text = "S-" + std::to_string(byte(0)) + "-" + std::to_string(authority);
    for (std::size_t i = 8; i < binary.size(); i += 4) {
        const unsigned long part = byte(i) | byte(i + 1) << 8 | byte(i + 2) << 16 |
                                   static_cast<unsigned long>(byte(i + 3)) << 24;
        text += "-" + std::to_string(part);
    }
    return text;
}

std::string OwnerSidText(const std::string& descriptor)
{
    // Revision 1, two bytes of flags with SE_SELF_RELATIVE (0x8000), then
    // the owner's offset (32 bits, little-endian) from the start.
    constexpr std::size_t HEADER = 20;
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(descriptor[i]); };
    if (descriptor.size() < HEADER || byte(0) != 1 || (byte(3) & 0x80) == 0) {
        return "";
    }
    const std::size_t owner = byte(4) | byte(5) << 8 | byte(6) << 16 | static_cast<std::size_t>(byte(7)) << 24;
    if (owner < HEADER || owner + 8 > descriptor.size()) {
        return "";
    }
    const std::size_t length = 8 + 4 * static_cast<std::size_t>(byte(owner + 1));
    return owner + length <= descriptor.size() ? SidText(descriptor.substr(owner, length)) : "";
}

}  // namespace orvauth_base
