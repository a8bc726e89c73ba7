#include "base/KeyValueLine.h"
#include "base/LdapText.h"
#include "base/LogText.h"
#include "base/OrganizationalUnit.h"
#include "base/Secret.h"
#include "base/ThumbprintText.h"

#include <orvane/authentication/PluginStatus.h>

#include <gtest/gtest.h>

#include <ldap.h>

using namespace orvauth_base;

TEST(TextHelpers, LogTextEscapesControlBytesAndCutsAtTheLimit)
{
    EXPECT_EQ(LogText(std::string("a\nb\x7f\\\xc3\xa9\0", 8)), "a\\x0ab\\x7f\\\xc3\xa9\\x00");
    EXPECT_EQ(LogText("abcdef", 3) + LogText("abc", 3), "abc...abc");
}

TEST(TextHelpers, KeyValueLinesKeepSecretsInWipingStrings)
{
    const struct { const char *text; LineKind kind; const char *key, *value; } cases[] = {
        {"  # comment = no", LineKind::Empty, "", ""},
        {" \t\r", LineKind::Empty, "", ""},
        {"password =  p = w \r", LineKind::Entry, "password", "p = w "},
        {"key_2=", LineKind::Entry, "key_2", ""},
        {"Key = value", LineKind::Malformed, "", ""},
        {"key value", LineKind::Malformed, "key", ""},
    };
    for (const auto& c : cases) {
        const KeyValueLine<SecretString> line = ReadKeyValueLine(SecretString(c.text));
        EXPECT_EQ(line.kind, c.kind) << c.text;
        EXPECT_EQ(line.key, c.key) << c.text;
        EXPECT_EQ(line.value, c.value) << c.text;
    }
    std::string lines;
    EXPECT_FALSE(ForEachLine(std::string("a\n\nb\nstop\nnever"), [&](const std::string& text) {
        return (lines += text + ";", text != "stop");
    }));
    EXPECT_EQ(lines, "a;;b;stop;");
}

TEST(TextHelpers, DirectoryValuesInText)
{
    EXPECT_EQ(ThumbprintText(reinterpret_cast<const unsigned char*>("\x0a\xff\x10"), 3), "0A:FF:10");
    EXPECT_EQ(EscapedFilterValue("a*(b)\\"), "a\\2A\\28b\\29\\5C");
    const std::string sid("\x01\x04\x00\x00\x00\x00\x00\x05\x15\x00\x00\x00\x01\x00\x00\x00\xff\xff\xff\xff\x10\x27\x00\x00", 24);
    EXPECT_EQ(SidText(sid), "S-1-5-21-1-4294967295-10000");
    EXPECT_EQ(SidText(sid.substr(0, 20)), "");
    // A descriptor as the SD-flags control asking for the owner gives it:
    // the header, then the owner's SID.
    const std::string header = std::string("\x01\x00\x00\x80\x14\x00\x00\x00", 8) + std::string(12, '\0');
    EXPECT_EQ(OwnerSidText(header + sid), "S-1-5-21-1-4294967295-10000");
    EXPECT_EQ(OwnerSidText(header + sid.substr(0, 23)), "");                     // cut short
    EXPECT_EQ(OwnerSidText(std::string(header).replace(3, 1, "\0", 1) + sid), "");  // not self-relative
    EXPECT_EQ(OwnerSidText(std::string(header).replace(4, 1, "\0", 1) + sid), "");  // no owner
    EXPECT_EQ(StatusOfLdapResult(LDAP_TIMEOUT), ORVAUTH_STATUS_NO_SUCH_DOMAIN);
    EXPECT_EQ(StatusOfLdapResult(LDAP_OTHER), ORVAUTH_STATUS_INTERNAL_ERROR);
}

// Both joins send the DN this gives. "!" marks a refusal, followed by the
// start of its text.
TEST(TextHelpers, OrganizationalUnitsAsDistinguishedNames)
{
    const struct { const char *unit, *domain, *dn; } cases[] = {
        {"", "corp.example", ""},
        {"Servers/Hypervisors", "corp.example", "OU=Hypervisors,OU=Servers,DC=corp,DC=example"},
        {"Sales, Europe/Hosts", "corp.example", "OU=Hosts,OU=Sales\\, Europe,DC=corp,DC=example"},
        {"Servers\\Hypervisors", "", "OU=Servers\\\\Hypervisors"},
        {"#1 +<a>; \"b\" ", "", "OU=\\#1 \\+\\<a\\>\\; \\\"b\\\"\\ "},
        {"OU=Hosts,OU=Sales\\, Europe", "corp.example", "OU=Hosts,OU=Sales\\, Europe,DC=corp,DC=example"},
        {"ou=Hosts,dc=corp,dc=example", "other.example", "ou=Hosts,dc=corp,dc=example"},
        {"Servers/Hypervisors/", "corp.example", "!The organizational unit 'Servers/Hypervisors/' ends with a '/': "},
        {"/Servers", "corp.example", "!The organizational unit '/Servers' starts with a '/'"},
        {"Servers// /Hosts", "", "!The organizational unit 'Servers// /Hosts' has an empty component"},
        {"OU=Hosts,", "", "!The organizational unit 'OU=Hosts,' has an empty component"},
        {"OU=Hosts,Servers", "", "!The organizational unit 'OU=Hosts,Servers' has a component that is not"},
        {"OU=Hosts\\", "", "!The organizational unit 'OU=Hosts\\' ends with a lone '\\'"},
    };
    for (const auto& c : cases) {
        try {
            EXPECT_EQ(c.dn, OrganizationalUnitDN(c.unit, c.domain)) << c.unit;
        } catch (const InvalidOrganizationalUnit& refused) {
            EXPECT_EQ(0u, std::string(refused.what()).rfind(c.dn + 1, 0)) << refused.what();
            EXPECT_NE(std::string::npos, std::string(refused.what()).find("(Servers/Hypervisors)"));
        }
    }
}
