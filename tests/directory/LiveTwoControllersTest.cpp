// Run by live-two-controllers.sh once every packet to the first controller
// is dropped: the tool and the library reach the domain through the second
// one alone, each command and query within its bound. The account is read
// back from the second controller's database (LIVE_SAM).
#include "common/ChildProcess.h"

#include <orvane/authentication/orvauth.h>
#include <platform/PlatformSettings.h>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>

using namespace orvane::authentication;
using Clock = std::chrono::steady_clock;

namespace {

const std::string DOMAIN = "ad.example.test";
const std::string PASSWORD = "Adm1n#Pass";
const std::string WORK = getenv("LIVE_WORK") ? getenv("LIVE_WORK") : "";
// The tool's store waits this long for the directory, status a second more.
constexpr double STORE_TIME_OUT = 60;

orvauth_test::ChildResult Ctl(std::vector<std::string> arguments, const std::string& input = "")
{
    arguments.insert(arguments.begin(), {ORVAUTHCTL_PATH, "--config-store", WORK + "/configstore.db",
                                         "--management-interface", "lo=127.0.0.11", "--state-dir",
                                         WORK + "/toolstate"});
    return orvauth_test::RunChild(arguments, {}, input);
}

// Runs step, prints its time as a figure and checks it against bound.
void Timed(const std::string& name, double bound, const std::function<void()>& step)
{
    const Clock::time_point start = Clock::now();
    step();
    const double took = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("figure: second controller: %s %.2f s\n", name.c_str(), took);
    EXPECT_LT(took, bound) << name;
}

class TwoControllers : public ::testing::Test {
protected:
    static void SetUpTestSuite() { OrvPlatform::Settings::SetConfigStorePath(WORK + "/configstore.db"); }
};

TEST_F(TwoControllers, TheToolJoinsThroughTheSecond)
{
    ASSERT_FALSE(WORK.empty()) << "run through live-two-controllers.sh";
    Timed("orvauthctl join", 15, [] {
        const orvauth_test::ChildResult join = Ctl({"join", DOMAIN, "--user", "Administrator", "--password-stdin"}, PASSWORD);
        ASSERT_EQ(join.status, 0) << join.err;
    });
    const orvauth_test::ChildResult account = orvauth_test::RunChild(
        {"ldbsearch", "--configfile=" + std::string(getenv("LIVE_SMB_CONF")), "-H", getenv("LIVE_SAM"), "(sAMAccountName=NODE01$)", "dn"});
    EXPECT_NE(account.out.find("dn: CN=NODE01,CN=Computers,DC=ad,DC=example,DC=test"), std::string::npos) << account.out;
}

// Nothing is cached yet on this host: every answer is the second controller's.
TEST_F(TwoControllers, TheLibrarysQueriesAnswerThroughTheSecond)
{
    ActiveDirectoryStore store(10);
    Timed("store configuration", 10 + 1, [&] {
        std::unique_ptr<StoreConfiguration> any(store.GetStoreConfiguration());
        const auto& configuration = dynamic_cast<const ActiveDirectoryStoreConfiguration&>(*any);
        EXPECT_EQ(configuration.activeDomain.netbiosName, "ADEX");
        EXPECT_EQ(configuration.machineAccountDN, "CN=NODE01,CN=Computers,DC=ad,DC=example,DC=test");
    });
    Timed("trusted domains", 10 + 1, [&] {
        const std::deque<Domain> trusted = store.GetTrustedDomains();
        ASSERT_EQ(trusted.size(), 1u);
        EXPECT_EQ(trusted[0].dnsName, "partner.example.org");
    });
    Timed("trust state", 10 + 1, [&] { EXPECT_EQ(store.GetDomainTrustState(), 1u); });
}

TEST_F(TwoControllers, TheToolsQueriesAnswerThroughTheSecond)
{
    const struct {
        std::vector<std::string> command;
        double bound;
        std::string expected;
    } cases[] = {
        {{"domain-controller", DOMAIN}, 15, "dc2.ad.example.test"},
        {{"discover", DOMAIN}, 15, "Answering controller:     dc2.ad.example.test"},
        {{"status"}, STORE_TIME_OUT + 1, "NetBIOS Name: PARTNER"},
    };
    for (const auto& each : cases) {
        Timed("orvauthctl " + each.command[0], each.bound, [&] {
            const orvauth_test::ChildResult result = Ctl(each.command);
            EXPECT_EQ(result.status, 0) << result.err;
            EXPECT_NE(result.out.find(each.expected), std::string::npos) << result.out << result.err;
        });
    }
}

}  // namespace
