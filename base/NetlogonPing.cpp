#include "base/NetlogonPing.h"

#include "base/AsciiText.h"

namespace orvauth_base {
namespace {

// BER tags of the LDAP messages involved (RFC 4511).
constexpr unsigned char SEQUENCE = 0x30, SET = 0x31, INTEGER = 0x02, OCTET_STRING = 0x04, ENUMERATED = 0x0a,
                        BOOLEAN = 0x01, SEARCH_REQUEST = 0x63, SEARCH_ENTRY = 0x64, FILTER_AND = 0xa0,
                        FILTER_EQUAL = 0xa3;

// Opcodes of the extended SAM logon responses.
constexpr std::uint16_t LOGON_SAM_LOGON_RESPONSE_EX = 23, LOGON_SAM_USER_UNKNOWN_EX = 25;
constexpr std::size_t MAX_NAME = 255;  // a DNS name's longest text form

std::string Tlv(unsigned char tag, const std::string& content)
{
    std::string out(1, static_cast<char>(tag));
    const std::size_t size = content.size();
    if (size < 0x80) {
        out += static_cast<char>(size);
    } else {
        std::string digits;
        for (std::size_t rest = size; rest != 0; rest >>= 8) {
            digits.insert(digits.begin(), static_cast<char>(rest & 0xff));
        }
        out += static_cast<char>(0x80 | digits.size());
        out += digits;
    }
    return out + content;
}

std::string Integer(unsigned char tag, std::uint32_t value)
{
    std::string digits;
    do {
        digits.insert(digits.begin(), static_cast<char>(value & 0xff));
        value >>= 8;
    } while (value != 0);
    if (static_cast<unsigned char>(digits[0]) & 0x80) {
        digits.insert(digits.begin(), '\0');  // stays positive
    }
    return Tlv(tag, digits);
}

std::string EqualityFilter(const std::string& attribute, const std::string& value)
{
    return Tlv(FILTER_EQUAL, Tlv(OCTET_STRING, attribute) + Tlv(OCTET_STRING, value));
}

// A view of BER content being read; every read is checked against its end.
struct Ber {
    const unsigned char* at;
    std::size_t left;

    // The next element, if it carries `tag`, as a view of its content.
    bool Take(unsigned char tag, Ber& content)
    {
        if (left < 2 || at[0] != tag) {
            return false;
        }
        std::size_t size = at[1], header = 2;
        if (size & 0x80) {
            const std::size_t digits = size & 0x7f;
            // Definite lengths of one to four bytes; a datagram is smaller.
            if (digits == 0 || digits > 4 || left < 2 + digits) {
                return false;
            }
            size = 0;
            for (std::size_t i = 0; i < digits; ++i) {
                size = size << 8 | at[2 + i];
            }
            header += digits;
        }
        if (size > left - header) {
            return false;
        }
        content = {at + header, size};
        at += header + size;
        left -= header + size;
        return true;
    }

    std::string Text() const { return std::string(reinterpret_cast<const char*>(at), left); }
};

bool IntegerEquals(const Ber& content, std::uint32_t expected)
{
    if (content.left == 0 || content.left > 5 || (content.at[0] & 0x80)) {
        return false;
    }
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < content.left; ++i) {
        value = value << 8 | content.at[i];
    }
    return value == expected;
}

// Reads the compressed name at `offset` (RFC 1035 4.1.4: labels, or a
// pointer to an earlier name). Pointers must point backwards, which bounds
// the walk; labels must be plain text without dots or control characters,
// since the names end up on terminals and in logs. `offset` moves past the
// name as it is stored here, not past what a pointer led to.
bool ReadName(const unsigned char* data, std::size_t size, std::size_t& offset, std::string& name)
{
    name.clear();
    std::size_t at = offset;
    bool followed = false;
    while (true) {
        if (at >= size) {
            return false;
        }
        const unsigned char length = data[at];
        if (length == 0) {
            if (!followed) {
                offset = at + 1;
            }
            return true;
        }
        if ((length & 0xc0) == 0xc0) {
            if (at + 1 >= size) {
                return false;
            }
            const std::size_t target = static_cast<std::size_t>(length & 0x3f) << 8 | data[at + 1];
            if (target >= at) {
                return false;
            }
            if (!followed) {
                offset = at + 2;
                followed = true;
            }
            at = target;
            continue;
        }
        if ((length & 0xc0) != 0 || at + 1 + length > size) {
            return false;
        }
        if (!name.empty()) {
            name += '.';
        }
        for (std::size_t i = at + 1; i <= at + length; ++i) {
            if (data[i] < 0x20 || data[i] == 0x7f || data[i] == '.') {
                return false;
            }
            name += static_cast<char>(data[i]);
        }
        if (name.size() > MAX_NAME) {
            return false;
        }
        at += 1 + length;
    }
}

}  // namespace

std::string EncodeNetlogonPing(std::uint32_t messageId, const std::string& domain)
{
    const std::string filter = Tlv(FILTER_AND, EqualityFilter("DnsDomain", domain) +
                                                   EqualityFilter("NtVer", std::string("\x06\x00\x00\x00", 4)));
    const std::string search = Tlv(OCTET_STRING, "") +  // the root DSE
                               Integer(ENUMERATED, 0) +  // base object
                               Integer(ENUMERATED, 0) +  // never dereference aliases
                               Integer(INTEGER, 0) + Integer(INTEGER, 0) +  // no size or time limit
                               Tlv(BOOLEAN, std::string(1, '\0')) + filter +
                               Tlv(SEQUENCE, Tlv(OCTET_STRING, "Netlogon"));
    return Tlv(SEQUENCE, Integer(INTEGER, messageId) + Tlv(SEARCH_REQUEST, search));
}

bool DecodeNetlogonReply(const unsigned char* data, std::size_t size, std::uint32_t messageId, NetlogonFacts& facts)
{
    // LDAPMessage { messageID, searchResEntry { objectName, attributes { { type, vals { value } } ... } } };
    // a search-done message may follow in the same datagram and is not read.
    Ber reply{data, size}, message, id, entry, objectName, attributes;
    if (!reply.Take(SEQUENCE, message) || !message.Take(INTEGER, id) || !IntegerEquals(id, messageId) ||
        !message.Take(SEARCH_ENTRY, entry) || !entry.Take(OCTET_STRING, objectName) ||
        !entry.Take(SEQUENCE, attributes)) {
        return false;
    }
    for (Ber attribute; attributes.Take(SEQUENCE, attribute);) {
        Ber type, values, value;
        if (!attribute.Take(OCTET_STRING, type) || !attribute.Take(SET, values)) {
            return false;
        }
        if (EqualsIgnoringCase(type.Text(), "Netlogon")) {
            return values.Take(OCTET_STRING, value) && ParseSamLogonResponseEx(value.at, value.left, facts);
        }
    }
    return false;
}

bool ParseSamLogonResponseEx(const unsigned char* data, std::size_t size, NetlogonFacts& facts)
{
    // Opcode (2), Sbz (2), Flags (4), DomainGuid (16), then the names.
    constexpr std::size_t NAMES_AT = 24;
    // After the names: NtVersion (4), LmNtToken (2), Lm20Token (2).
    constexpr std::size_t TAIL = 8;
    if (size < NAMES_AT + 8 + TAIL) {
        return false;
    }
    const std::uint16_t opcode = static_cast<std::uint16_t>(data[0] | data[1] << 8);
    if (opcode != LOGON_SAM_LOGON_RESPONSE_EX && opcode != LOGON_SAM_USER_UNKNOWN_EX) {
        return false;
    }
    NetlogonFacts read;
    read.flags = static_cast<std::uint32_t>(data[4]) | static_cast<std::uint32_t>(data[5]) << 8 |
                 static_cast<std::uint32_t>(data[6]) << 16 | static_cast<std::uint32_t>(data[7]) << 24;
    std::string user;
    std::size_t offset = NAMES_AT;
    for (std::string* name : {&read.forest, &read.domain, &read.controller, &read.netbiosDomain,
                              &read.netbiosController, &user, &read.controllerSite, &read.clientSite}) {
        if (!ReadName(data, size, offset, *name)) {
            return false;
        }
    }
    if (size - offset < TAIL || read.domain.empty() || read.controller.empty()) {
        return false;
    }
    facts = read;
    return true;
}

}  // namespace orvauth_base
