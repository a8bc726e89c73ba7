// Who may log in and the other SSSD settings of the tool: the permit/deny
// rules and the snippet they become, from its text back to its text; and
// the DNS updates the host sends.
#include <orvane/host/DnsRegistration.h>
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
const std::string TAIL = "ad_maximum_machine_account_password_age = 45\nad_machine_account_password_renewal_opts = 60:5\n"
                         "dyndns_update = True\ndyndns_iface = *\ndyndns_update_ptr = True\n"
                         "dyndns_refresh_interval = 3600\n[pam]\noffline_credentials_expiration = 3\n";

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
                                    NOBODY + "[pam]\noffline_credentials_expiration = soon\n",
                                    NOBODY + "dyndns_update = maybe\n",
                                    NOBODY + "ad_machine_account_password_renewal_opts = 0:5\n"}) {
        EXPECT_THROW(ParseSnippet(text), std::runtime_error) << text;
    }
}

// SSSD's form of the renewal checks, or a clear refusal.
TEST(LoginAccessNames, RenewalChecks)
{
    EXPECT_EQ("60:5", RenewalChecks("060:05"));
    EXPECT_EQ("86400:0", RenewalChecks("86400:0"));
    for (const char* bad : {"60", "60:", ":5", "0:5", "6x:5", "60:5:1", "1234567890:1"}) {
        EXPECT_THROW(RenewalChecks(bad), std::invalid_argument) << bad;
    }
}

TEST(DnsUpdateScripts, RecordsAsNsupdateReadsThem)
{
    EXPECT_EQ("update delete node01.ad.example.test. A\nupdate delete node01.ad.example.test. AAAA\n"
              "update add node01.ad.example.test. 3600 A 192.0.2.50\n"
              "update add node01.ad.example.test. 3600 AAAA 2001:db8::5\nsend\n",
              ForwardUpdate("node01.ad.example.test", {"192.0.2.50", "2001:db8::5"}));
    EXPECT_EQ("update delete node01.ad.example.test. A\nupdate delete node01.ad.example.test. AAAA\nsend\n",
              ForwardUpdate("node01.ad.example.test", {}));
    EXPECT_EQ("update delete 50.2.0.192.in-addr.arpa. PTR\n"
              "update add 50.2.0.192.in-addr.arpa. 3600 PTR node01.ad.example.test.\nsend\n",
              ReverseUpdate("node01.ad.example.test", "192.0.2.50", true));
    EXPECT_EQ("update delete 5.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.8.b.d.0.1.0.0.2.ip6.arpa. PTR\nsend\n",
              ReverseUpdate("node01.ad.example.test", "2001:db8::5", false));
    EXPECT_THROW(ReverseUpdate("node01.ad.example.test", "192.0.2", true), DnsUpdateFailed);
}

}  // namespace
