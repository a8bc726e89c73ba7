// Workers that outlive their store, and many callers on many stores at once.
#include "QueryFixture.h"

#include <gmock/gmock.h>
#include <mutex>
#include <set>
#include <thread>

using namespace orvane::authentication;
using orvauth_test::ScriptablePlugin;

namespace {

// The worker owns the provider and the cache it fills: destroying the store
// neither unloads the plug-in under it nor frees the cache it writes into.
TEST(QueryLifetime, StoreDestroyedWhileItsWorkerRuns)
{
    orvauth_test::ResetConfigDir();
    orvauth_test::WriteFile(orvauth_test::ConfigFile("provider.conf"), "provider = \"scriptable\"\n");
    const std::string path = orvauth_test::PluginPath("scriptable");
    {
        auto plugin = std::make_unique<ScriptablePlugin>("scriptable");
        plugin->Hold(SCRIPTABLE_SLOT_GET_TRUSTED_DOMAINS);
        auto store = std::make_unique<ActiveDirectoryStore>(1);
        EXPECT_TRUE(store->GetTrustedDomains().empty());
        ASSERT_TRUE(plugin->WaitForCalls(SCRIPTABLE_SLOT_GET_TRUSTED_DOMAINS, 1));
        store.reset();
        plugin.reset();
        EXPECT_TRUE(orvauth_test::IsLoaded(path)) << "unloaded under a running worker";
        ScriptablePlugin again("scriptable");  // resetting it lets the held call go
        ASSERT_TRUE(orvauth_test::WaitForThreadsToEnd());
    }
    EXPECT_FALSE(orvauth_test::IsLoaded(path));
}

// Callers spread over the stores, each asking all three questions
// repeatedly; every distinct answer, tagged with its question.
std::set<std::string> AskConcurrently(const std::vector<ActiveDirectoryStore*>& stores, int callers, int rounds)
{
    std::mutex mutex;
    std::set<std::string> answers;
    std::vector<std::thread> threads;
    for (int caller = 0; caller < callers; ++caller) {
        threads.emplace_back([&, caller] {
            for (int round = 0; round < rounds; ++round) {
                const ActiveDirectoryStore& store = *stores[(caller + round) % stores.size()];
                const std::string configuration = "configuration " + orvauth_test::ConfigurationOf(store);
                const std::string domains = "domains " + orvauth_test::Render(store.GetTrustedDomains());
                const std::string state = "state " + std::to_string(store.GetDomainTrustState());
                std::lock_guard<std::mutex> guard(mutex);
                answers.insert({configuration, domains, state});
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    return answers;
}

using QueryThreads = orvauth_test::QueryFixture;

TEST_F(QueryThreads, OneThreadPerKindOfQueryAcrossCallersAndStores)
{
    const std::unique_ptr<ActiveDirectoryStore> others[] = {NewStore(), NewStore(), NewStore()};
    const std::vector<ActiveDirectoryStore*> stores{store.get(), others[0].get(), others[1].get(), others[2].get()};
    const int slots[] = {SCRIPTABLE_SLOT_GET_ACTIVE_DOMAIN, SCRIPTABLE_SLOT_GET_TRUSTED_DOMAINS,
                         SCRIPTABLE_SLOT_GET_DOMAIN_TRUST_STATE};

    // While the plug-in is held, one thread per kind is all there is; every
    // other caller gets its store's cache without waiting.
    for (int slot : slots) {
        plugin.Hold(slot);
    }
    const std::set<std::string> cached = {"configuration |||", "domains ", "state 0", "state 2"};
    EXPECT_THAT(AskConcurrently(stores, 16, 20), ::testing::IsSubsetOf(cached));
    for (int slot : slots) {
        EXPECT_EQ(plugin.Calls(slot), 1u) << slot;
        plugin.Hold(slot, false);
    }
    EXPECT_EQ(orvauth_test::LoggedLines().size(), 3u);  // one time-out per kind
}

}  // namespace
