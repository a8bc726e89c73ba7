// Run by live-two-controllers.sh once every packet to the first controller
// is dropped: the tool and the library reach the domain through the second
// one alone, each command and query within its bound.
#include "common/ChildProcess.h"

#include <orvane/authentication/orvauth.h>
#include <platform/PlatformSettings.h>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>

using namespace orvane::authentication;

namespace {

const std::string WORK = getenv("LIVE_WORK") ? getenv("LIVE_WORK") : "";

// Runs step, prints its time as a figure and checks it against bound.
void Timed(const std::string& name, double bound, const std::function<void()>& step)
{
    const auto start = std::chrono::steady_clock::now();
    step();
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("figure: second controller: %s %.2f s\n", name.c_str(), took);
    EXPECT_LT(took, bound) << name;
}

// join first; status within the tool's store time-out (60 s) and a second.
TEST(TwoControllers, TheToolWorksThroughTheSecond)
{
    ASSERT_FALSE(WORK.empty()) << "run through live-two-controllers.sh";
    const struct {
        std::vector<std::string> command;
        double bound;
        std::string expected;
    } cases[] = {
        {{"join", "ad.example.test", "--user", "Administrator", "--password-stdin"}, 15, ""},
        {{"domain-controller", "ad.example.test"}, 15, "dc2.ad.example.test"},
        {{"discover", "ad.example.test"}, 15, "Answering controller:     dc2.ad.example.test"},
        {{"status"}, 61, "CN=NODE01,CN=Computers,DC=ad,DC=example,DC=test"},
    };
    for (const auto& each : cases) {
        Timed("orvauthctl " + each.command[0], each.bound, [&] {
            std::vector<std::string> argv{ORVAUTHCTL_PATH, "--config-store", WORK + "/configstore.db",
                                          "--management-interface", "lo=127.0.0.11"};
            argv.insert(argv.end(), each.command.begin(), each.command.end());
            const orvauth_test::ChildResult result = orvauth_test::RunChild(argv, {}, "Adm1n#Pass");
            ASSERT_EQ(result.status, 0) << result.err;
            EXPECT_NE(result.out.find(each.expected), std::string::npos) << result.out;
        });
    }
}

// An answer within the time-out is the directory's own: the cache answers only after it.
TEST(TwoControllers, TheLibrarysQueriesAnswerThroughTheSecond)
{
    OrvPlatform::Settings::SetConfigStorePath(WORK + "/configstore.db");
    ActiveDirectoryStore store(10);
    Timed("store configuration", 10 + 1, [&] {
        std::unique_ptr<StoreConfiguration> any(store.GetStoreConfiguration());
        EXPECT_EQ(dynamic_cast<const ActiveDirectoryStoreConfiguration&>(*any).machineAccountDN,
                  "CN=NODE01,CN=Computers,DC=ad,DC=example,DC=test");
    });
    Timed("trusted domains", 10 + 1, [&] {
        const std::deque<Domain> trusted = store.GetTrustedDomains();
        ASSERT_EQ(trusted.size(), 1u);
        EXPECT_EQ(trusted[0].dnsName, "partner.example.org");
    });
    Timed("trust state", 10 + 1, [&] { EXPECT_EQ(store.GetDomainTrustState(), 1u); });
}

}  // namespace
