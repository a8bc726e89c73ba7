// Who may log in: the permit/deny rules and the SSSD snippet they become,
// from the snippet's text back to its text.
#include <orvane/host/LoginAccess.h>

#include <gtest/gtest.h>

namespace {

using namespace orvane::host;

const std::string HEAD = "[domain/ad.example.test]\n";

struct Change {
    const char* name;
    std::string before;  // snippet text after the header comment
    void (*apply)(LoginAccess&);
    std::string after;  // "" when the change is refused
};

class LoginAccessTest : public ::testing::TestWithParam<Change> {};

TEST_P(LoginAccessTest, ChangeGivesTheSnippet)
{
    const Change& change = GetParam();
    SssdSnippet snippet = ParseSnippet(change.before);
    ASSERT_EQ(FormatSnippet(snippet).substr(FormatSnippet(snippet).find('[')), change.before);  // read back as written
    if (change.after.empty()) {
        EXPECT_THROW(change.apply(snippet.access), AccessRuleRefused);
        return;
    }
    change.apply(snippet.access);
    const std::string text = FormatSnippet(snippet);
    EXPECT_EQ(change.after, text.substr(text.find('[')));
}

const std::string NOBODY = HEAD + "access_provider = deny\n";
const std::string EVERYONE = HEAD + "access_provider = permit\n";
const std::string ALICE_OPS = HEAD +
                              "access_provider = simple\nsimple_allow_users = alice@ad.example.test\n"
                              "simple_allow_groups = ops@ad.example.test\n";
const std::string TAIL = "ad_maximum_machine_account_password_age = 45\n[pam]\noffline_credentials_expiration = 3\n";

INSTANTIATE_TEST_SUITE_P(
    Rules, LoginAccessTest,
    ::testing::Values(
        Change{"PermitFromNobody", NOBODY,
               [](LoginAccess& a) { Permit(a, {"alice@ad.example.test"}, {"ops@ad.example.test"}); }, ALICE_OPS},
        Change{"PermitNamesNarrowsEveryone", EVERYONE, [](LoginAccess& a) { Permit(a, {}, {"ops@ad.example.test"}); },
               HEAD + "access_provider = simple\nsimple_allow_groups = ops@ad.example.test\n"},
        Change{"DenyOneNameKeepsTheOther", ALICE_OPS, [](LoginAccess& a) { Deny(a, {"alice@ad.example.test"}, {}); },
               HEAD + "access_provider = simple\nsimple_allow_groups = ops@ad.example.test\n"},
        // An empty simple list lets everyone in: the last name out is nobody.
        Change{"DenyLastNamesIsNobody", ALICE_OPS,
               [](LoginAccess& a) { Deny(a, {"alice@ad.example.test"}, {"ops@ad.example.test"}); }, NOBODY},
        Change{"DenyUnknownNameKeepsNobody", NOBODY, [](LoginAccess& a) { Deny(a, {"bob@ad.example.test"}, {}); },
               NOBODY},
        Change{"DenyNameFromEveryoneRefused", EVERYONE, [](LoginAccess& a) { Deny(a, {"bob@ad.example.test"}, {}); },
               ""},
        Change{"PermitAllKeepsOtherSettings", ALICE_OPS + TAIL,
               [](LoginAccess& a) { PermitAll(a, AccessMode::Everyone); }, EVERYONE + TAIL},
        Change{"GroupPolicy", NOBODY, [](LoginAccess& a) { PermitAll(a, AccessMode::DomainPolicy); },
               HEAD + "access_provider = ad\nad_gpo_access_control = enforcing\n"},
        Change{"DenyAll", ALICE_OPS + TAIL, [](LoginAccess& a) { DenyAll(a); }, NOBODY + TAIL}),
    [](const ::testing::TestParamInfo<Change>& info) { return info.param.name; });

TEST(LoginAccessNames, QualifiedInLowerCase)
{
    EXPECT_EQ("alice@ad.example.test", QualifiedName("ADEX\\Alice", "ad.example.test"));
    EXPECT_EQ("ops@ad.example.test", QualifiedName("Ops@AD.example.test", "ad.example.test"));
}

// A snippet the tool did not write is refused rather than rewritten.
TEST(LoginAccessNames, ForeignSnippetRefused)
{
    for (const std::string& text : {HEAD + "access_provider = ldap\n", HEAD + "debug_level = 9\n",
                                    std::string("[sssd]\ndomains = x\n"), HEAD + "simple_allow_users = a\n",
                                    NOBODY + "[pam]\noffline_credentials_expiration = soon\n"}) {
        EXPECT_THROW(ParseSnippet(text), std::runtime_error) << text;
    }
}

}  // namespace
