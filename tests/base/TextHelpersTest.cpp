#include "base/KeyValueLine.h"
#include "base/LdapText.h"
#include "base/LogText.h"
#include "base/Secret.h"
#include "base/ThumbprintText.h"

#include <orvane/authentication/PluginStatus.h>

#include <gtest/gtest.h>

#include <ldap.h>

using namespace orvauth_base;

TEST(TextHelpers, LogTextEscapesControlBytesAndCutsAtTheLimit)
{
    EXPECT_EQ(LogText(std::string("a\nb\x7f\\\xc3\xa9\0", 8)), "a\\x0ab\\x7f\\\xc3\xa9\\x00");
    EXPECT_EQ(LogText("abcdef", 3), "abc...");
    EXPECT_EQ(LogText("abc", 3), "abc");
}

TEST(TextHelpers, KeyValueLinesKeepSecretsInWipingStrings)
{
    const struct {
        const char* text;
        LineKind kind;
        const char* key;
        const char* value;
    } cases[] = {
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
    std::vector<std::string> lines;
    EXPECT_FALSE(ForEachLine(std::string("a\n\nb\nstop\nnever"), [&](const std::string& text) {
        lines.push_back(text);
        return text != "stop";
    }));
    EXPECT_EQ(lines, (std::vector<std::string>{"a", "", "b", "stop"}));
}

TEST(TextHelpers, DirectoryValuesInText)
{
    const unsigned char digest[] = {0x0a, 0xff, 0x10};
    EXPECT_EQ(ThumbprintText(digest, sizeof digest), "0A:FF:10");
    EXPECT_EQ(EscapedFilterValue("a*(b)\\"), "a\\2A\\28b\\29\\5C");
    const std::string sid("\x01\x04\x00\x00\x00\x00\x00\x05\x15\x00\x00\x00\x01\x00\x00\x00\xff\xff\xff\xff\x10\x27\x00\x00", 24);
    EXPECT_EQ(SidText(sid), "S-1-5-21-1-4294967295-10000");
    EXPECT_EQ(SidText(sid.substr(0, 20)), "");
    EXPECT_EQ(StatusOfLdapResult(LDAP_SERVER_DOWN), ORVAUTH_STATUS_NO_SUCH_DOMAIN);
    EXPECT_EQ(StatusOfLdapResult(LDAP_INVALID_CREDENTIALS), ORVAUTH_STATUS_LOGON_FAILURE);
    EXPECT_EQ(StatusOfLdapResult(LDAP_CONSTRAINT_VIOLATION), ORVAUTH_STATUS_PASSWORD_RESTRICTION);
    EXPECT_EQ(StatusOfLdapResult(LDAP_OTHER), ORVAUTH_STATUS_INTERNAL_ERROR);
}
