// Netlogon ping replies as a controller sends them (names compressed against
// earlier ones, a search-done message after the entry), then cut short or
// bent the ways a hostile or broken sender could.
#include "base/NetlogonPing.h"

#include <gtest/gtest.h>

namespace {

using orvauth_base::NetlogonFacts;

std::string Tlv(unsigned char tag, const std::string& content)  // contents under 128 bytes
{
    return std::string{static_cast<char>(tag), static_cast<char>(content.size())} + content;
}

std::string Labels(std::initializer_list<std::string> labels)
{
    std::string out;
    for (const std::string& label : labels) {
        out += static_cast<char>(label.size()) + label;
    }
    return out;
}

const std::string POINTER_TO_FOREST("\xc0\x18", 2);  // the first name, at offset 24
const std::string HEAD = std::string("\x17\x00\x00\x00\xfd\xf3\x01\x00", 8) + std::string(16, '\x5a');
const std::string TAIL("\x06\x00\x00\x00\xff\xff\xff\xff", 8);

// forest, domain (a pointer to the forest), dc1.<pointer>, AD, DC1, no user, the DC's site, the client's (a pointer).
std::string Names(const std::string& dcLabel = "dc1")
{
    return Labels({"ad", "example", "test"}) + '\0' + POINTER_TO_FOREST + Labels({dcLabel}) + POINTER_TO_FOREST +
           Labels({"AD"}) + '\0' + Labels({"DC1"}) + '\0' + '\0' + Labels({"Default-First-Site-Name"}) + '\0' +
           std::string("\xc0\x3b", 2);
}

const std::string GOOD = HEAD + Names() + TAIL;

std::string Reply(const std::string& value, std::uint32_t id = 7, const std::string& attribute = "Netlogon")
{
    const std::string entry = Tlv(0x04, "") + Tlv(0x30, Tlv(0x30, Tlv(0x04, attribute) + Tlv(0x31, Tlv(0x04, value))));
    return Tlv(0x30, Tlv(0x02, std::string(1, static_cast<char>(id))) + Tlv(0x64, entry)) +
           Tlv(0x30, Tlv(0x02, "\x07") + Tlv(0x65, std::string("\x0a\x01\x00\x04\x00\x04\x00", 7)));
}

bool Parses(const std::string& value, NetlogonFacts& facts)
{
    return orvauth_base::ParseSamLogonResponseEx(reinterpret_cast<const unsigned char*>(value.data()), value.size(),
                                                 facts);
}

bool Decodes(const std::string& reply, NetlogonFacts& facts)
{
    return orvauth_base::DecodeNetlogonReply(reinterpret_cast<const unsigned char*>(reply.data()), reply.size(), 7, facts);
}

TEST(NetlogonPing, ReadsTheFactsOfACompressedResponse)
{
    NetlogonFacts facts;
    ASSERT_TRUE(Decodes(Reply(GOOD), facts));
    EXPECT_EQ(facts.flags, 0x0001f3fdu);
    for (auto [read, expected] : {std::pair{facts.forest, "ad.example.test"}, {facts.domain, "ad.example.test"},
                                  {facts.controller, "dc1.ad.example.test"}, {facts.netbiosDomain, "AD"},
                                  {facts.netbiosController, "DC1"}, {facts.controllerSite, "Default-First-Site-Name"},
                                  {facts.clientSite, "Default-First-Site-Name"}}) {
        EXPECT_EQ(read, expected);
    }
    std::string unknownUser = GOOD;
    unknownUser[0] = 25;
    EXPECT_TRUE(Parses(unknownUser, facts));
    EXPECT_TRUE(Decodes(Reply(GOOD, 7, "netlogon"), facts)) << "attribute names ignore case";
}

TEST(NetlogonPing, RefusesEveryTruncationAndHostileForm)
{
    NetlogonFacts facts;
    for (std::size_t size = 0; size < GOOD.size(); ++size) {
        EXPECT_FALSE(Parses(GOOD.substr(0, size), facts)) << size << " bytes";
    }
    const std::string reply = Reply(GOOD);
    const std::size_t entrySize = 2u + static_cast<unsigned char>(reply[1]);  // without the search-done message
    for (std::size_t size = 0; size < entrySize; ++size) {
        EXPECT_FALSE(Decodes(reply.substr(0, size), facts)) << size << " bytes";
    }
    std::string oldOpcode = GOOD, indefinite = reply, overlong = reply.substr(0, entrySize);
    oldOpcode[0] = 19;
    indefinite[1] = '\x80';
    overlong[1]++;
    const std::pair<const char*, std::string> hostileValues[] = {
        {"an older response", oldOpcode},
        {"a pointer forwards", HEAD + std::string("\xc0\x1a", 2) + Names().substr(2) + TAIL},
        {"a pointer to itself", HEAD + std::string("\xc0\x18", 2) + Names().substr(2) + TAIL},
        {"reserved label bits", HEAD + "\x42" + Names().substr(1) + TAIL},
        {"an escape sequence", HEAD + Names("dc\x1b[2J") + TAIL},
        {"a dot inside a label", HEAD + Names("dc.1") + TAIL},
        {"a name over 255 bytes", HEAD + Labels({std::string(63, 'a'), std::string(63, 'b'), std::string(63, 'c'),
                                                std::string(63, 'd'), std::string(63, 'e')}) + Names().substr(1) + TAIL},
        {"no controller name", HEAD + Labels({"ad"}) + std::string(8, '\0') + TAIL},
    }, hostileReplies[] = {
        {"another message id", Reply(GOOD, 8)},
        {"no Netlogon attribute", Reply(GOOD, 7, "objectGUID")},
        {"an indefinite length", indefinite},
        {"a length past the datagram", overlong},
    };
    for (const auto& [what, value] : hostileValues) {
        EXPECT_FALSE(Parses(value, facts)) << what;
    }
    for (const auto& [what, bytes] : hostileReplies) {
        EXPECT_FALSE(Decodes(bytes, facts)) << what;
    }
}

}  // namespace
