// Run by live-two-controllers.sh with the first controller's packets
// dropped: the tool and the library reach the domain through the second
// alone, each command and query within its bound.
#include "LiveSupport.h"

#include <orvane/authentication/orvauth.h>
#include <platform/PlatformSettings.h>

using namespace orvane::authentication;
using namespace orvauth_live;

namespace {

// The tool's store waits this long for the directory, status a second more.
constexpr double STORE_TIME_OUT = 60;

class TwoControllers : public ::testing::Test {
protected:
    static void SetUpTestSuite() { OrvPlatform::Settings::SetConfigStorePath(WORK + "/configstore.db"); }
};

TEST_F(TwoControllers, TheToolJoinsThroughTheSecond)
{
    ASSERT_FALSE(WORK.empty()) << "run through live-two-controllers.sh";
    Timed("second controller: orvauthctl join", 15, [] {
        const orvauth_test::ChildResult join = Ctl({"join", DOMAIN, "--user", "Administrator", "--password-stdin"}, PASSWORD);
        ASSERT_EQ(join.status, 0) << join.err;
    });
    const std::string account = OnController("(sAMAccountName=NODE01$)", "dn");
    EXPECT_NE(account.find("dn: CN=NODE01,CN=Computers,DC=ad,DC=example,DC=test"), std::string::npos) << account;
}

// Nothing is cached yet on this host: every answer is the second controller's.
TEST_F(TwoControllers, TheLibrarysQueriesAnswerThroughTheSecond)
{
    ActiveDirectoryStore store(10);
    Timed("second controller: store configuration", 10 + 1, [&] {
        std::unique_ptr<StoreConfiguration> any(store.GetStoreConfiguration());
        const auto& configuration = dynamic_cast<const ActiveDirectoryStoreConfiguration&>(*any);
        EXPECT_EQ(configuration.activeDomain.netbiosName, "ADEX");
        EXPECT_EQ(configuration.machineAccountDN, "CN=NODE01,CN=Computers,DC=ad,DC=example,DC=test");
    });
    Timed("second controller: trusted domains", 10 + 1, [&] {
        const std::deque<Domain> trusted = store.GetTrustedDomains();
        ASSERT_EQ(trusted.size(), 1u);
        EXPECT_EQ(trusted[0].dnsName, "partner.example.org");
    });
    Timed("second controller: trust state", 10 + 1, [&] { EXPECT_EQ(store.GetDomainTrustState(), 1u); });
}

TEST_F(TwoControllers, TheToolsQueriesAnswerThroughTheSecond)
{
    const struct {
        std::vector<std::string> command;
        double bound;
        std::string expected;
    } cases[] = {
        {{"domain-controller", DOMAIN}, 15, "dc2.ad.example.test"},
        {{"discover", DOMAIN}, 3, "Answering controller:     dc2.ad.example.test"},
        {{"status", "--verbose"}, STORE_TIME_OUT + 1, "NetBIOS Name: PARTNER"},
    };
    for (const auto& each : cases) {
        Timed("second controller: orvauthctl " + each.command[0], each.bound, [&] {
            const orvauth_test::ChildResult result = Ctl(each.command);
            EXPECT_EQ(result.status, 0) << result.err;
            EXPECT_NE(result.out.find(each.expected), std::string::npos) << result.out << result.err;
        });
    }
}

}  // namespace
