// Workers that outlive their store, and many callers on many stores at once.
#include "BlockingStoreFixture.h"

#include <mutex>
#include <set>
#include <thread>

using namespace orvane::authentication;

namespace {

using QueryLifetime = orvauth_test::BlockingStoreFixture;

// The worker owns the provider and the cache it fills: destroying the store
// neither unloads the plug-in under it nor frees the cache it writes into.
TEST_F(QueryLifetime, StoreDestroyedWhileItsWorkerRuns)
{
    control->Block(BLOCKING_TRUSTED_DOMAINS);
    control->SetTrustedDomains(orvauth_test::CStrings{"late.example", "LATE"}.Get());
    EXPECT_TRUE(store->GetTrustedDomains().empty());
    ASSERT_TRUE(control->WaitForCalls(BLOCKING_TRUSTED_DOMAINS, 1));

    store.reset();
    EXPECT_EQ(Unloads(), 0);
    // Releasing runs plug-in code, so hold the plug-in while doing it; the
    // worker's reference must then be the only other one.
    void* pin = dlopen(ORVAUTH_PLUGIN_DIR "/libblockingclient.so", RTLD_LAZY | RTLD_NOLOAD);
    ASSERT_NE(pin, nullptr);
    control->Release(BLOCKING_TRUSTED_DOMAINS);
    control = nullptr;
    ASSERT_TRUE(orvauth_test::WaitForThreadsToEnd());
    EXPECT_EQ(Unloads(), 0);
    dlclose(pin);
    EXPECT_EQ(Unloads(), 1);
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
                std::unique_ptr<StoreConfiguration> configuration(store.GetStoreConfiguration());
                const std::string configurationAnswer = "configuration " + orvauth_test::Render(*configuration);
                const std::string domainsAnswer = "domains " + orvauth_test::Render(store.GetTrustedDomains());
                const std::string stateAnswer = "state " + std::to_string(store.GetDomainTrustState());
                std::lock_guard<std::mutex> guard(mutex);
                answers.insert({configurationAnswer, domainsAnswer, stateAnswer});
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    return answers;
}

void ExpectOnly(const std::set<std::string>& answers, const std::set<std::string>& allowed)
{
    for (const std::string& answer : answers) {
        EXPECT_EQ(1u, allowed.count(answer)) << answer;
    }
}

TEST_F(QueryLifetime, OneThreadPerKindOfQueryAcrossCallersAndStores)
{
    std::vector<std::unique_ptr<ActiveDirectoryStore>> others;
    std::vector<ActiveDirectoryStore*> stores{store.get()};
    for (int i = 0; i < 3; ++i) {
        others.push_back(NewStore());
        stores.push_back(others.back().get());
    }
    control->SetActiveDomain("d.example", "D");
    control->SetTrustedDomains(orvauth_test::CStrings{"t.example", "T"}.Get());
    control->SetTrustState(9);

    // While the plug-in is stuck, one thread per kind is all there is; every
    // other caller gets its store's cache without waiting.
    for (int operation = 0; operation < BLOCKING_OPERATION_COUNT; ++operation) {
        control->Block(operation);
    }
    std::set<std::string> allowed = {"configuration |||", "domains ", "state 0", "state 2"};
    ExpectOnly(AskConcurrently(stores, 16, 20), allowed);
    EXPECT_EQ(control->Calls(BLOCKING_ACTIVE_DOMAIN), 1);
    EXPECT_EQ(control->Calls(BLOCKING_TRUSTED_DOMAINS), 1);
    EXPECT_EQ(control->Calls(BLOCKING_TRUST_STATE), 1);
    EXPECT_EQ(orvauth_test::LoggedLines().size(), 3u);  // one time-out per kind

    for (int operation = 0; operation < BLOCKING_OPERATION_COUNT; ++operation) {
        control->Release(operation);
    }
    ASSERT_TRUE(orvauth_test::WaitForThreadsToEnd());

    // Flowing freely, threads come and go, but never two of a kind at once.
    allowed.insert({"configuration d.example|D||", "domains t.example/T", "state 9"});
    ExpectOnly(AskConcurrently(stores, 16, 10), allowed);
    for (int operation = 0; operation < BLOCKING_OPERATION_COUNT; ++operation) {
        EXPECT_EQ(control->MaxConcurrent(operation), 1) << "operation " << operation;
    }
    EXPECT_GT(control->Calls(BLOCKING_TRUSTED_DOMAINS), 1);
}

}  // namespace
