// Workers that outlive their store, and many callers on many stores at once.
#include "BlockingStoreFixture.h"
#include "ThreadSeam.h"
#include "common/SyslogRecorder.h"

#include <orvane/authentication/Exceptions.h>

#include <set>
#include <syslog.h>
#include <thread>

using namespace orvane::authentication;
using orvauth_test::CStrings;
using orvauth_test::LoggedLines;

namespace {

using QueryLifetimeTest = orvauth_test::BlockingStoreFixture;

// The worker owns the provider and the cache it fills: destroying the store
// neither unloads the plug-in under it nor frees the cache it writes into.
// The worker then holds the last reference, so the test lets it go through a
// gate of its own: once open, the plug-in may vanish at any moment.
TEST_F(QueryLifetimeTest, StoreDestroyedWhileItsWorkerRuns)
{
    BlockingGate gate{PTHREAD_MUTEX_INITIALIZER, PTHREAD_COND_INITIALIZER, 0};
    control->SetGate(BLOCKING_TRUSTED_DOMAINS, &gate);
    control->SetTrustedDomains(CStrings{"late.example", "LATE"}.Get());
    EXPECT_TRUE(store->GetTrustedDomains().empty());
    ASSERT_TRUE(control->WaitForCalls(BLOCKING_TRUSTED_DOMAINS, 1));

    store.reset();
    EXPECT_EQ(Unloads(), 0);
    EXPECT_EQ(control->Calls(BLOCKING_TRUSTED_DOMAINS), 1);  // still loaded and answering
    control = nullptr;

    pthread_mutex_lock(&gate.mutex);
    gate.isOpen = 1;
    pthread_cond_broadcast(&gate.opened);
    pthread_mutex_unlock(&gate.mutex);
    ASSERT_TRUE(orvauth_test::WaitForThreadsToEnd());
    EXPECT_EQ(Unloads(), 1);
}

struct Answers {
    std::set<std::string> configurations, trustedDomains, trustStates;
};

// Callers spread over stores, each asking all three questions repeatedly.
Answers AskConcurrently(const std::vector<ActiveDirectoryStore*>& stores, int callers, int rounds)
{
    std::vector<Answers> perCaller(callers);
    std::vector<std::thread> threads;
    for (int caller = 0; caller < callers; ++caller) {
        threads.emplace_back([&, caller] {
            for (int round = 0; round < rounds; ++round) {
                const ActiveDirectoryStore& store = *stores[(caller + round) % stores.size()];
                std::unique_ptr<StoreConfiguration> configuration(store.GetStoreConfiguration());
                perCaller[caller].configurations.insert(orvauth_test::Render(*configuration));
                perCaller[caller].trustedDomains.insert(orvauth_test::Render(store.GetTrustedDomains()));
                perCaller[caller].trustStates.insert(std::to_string(store.GetDomainTrustState()));
            }
        });
    }
    Answers all;
    for (int caller = 0; caller < callers; ++caller) {
        threads[caller].join();
        all.configurations.insert(perCaller[caller].configurations.begin(), perCaller[caller].configurations.end());
        all.trustedDomains.insert(perCaller[caller].trustedDomains.begin(), perCaller[caller].trustedDomains.end());
        all.trustStates.insert(perCaller[caller].trustStates.begin(), perCaller[caller].trustStates.end());
    }
    return all;
}

TEST_F(QueryLifetimeTest, OneThreadPerKindOfQueryAcrossCallersAndStores)
{
    std::vector<std::unique_ptr<ActiveDirectoryStore>> others;
    std::vector<ActiveDirectoryStore*> stores{store.get()};
    for (int i = 0; i < 3; ++i) {
        others.push_back(NewStore());
        stores.push_back(others.back().get());
    }
    control->SetActiveDomain("d.example", "D");
    control->SetTrustedDomains(CStrings{"t.example", "T"}.Get());
    control->SetTrustState(9);

    // While the plug-in is stuck, one thread per kind is all there is; every
    // other caller gets its store's cache without waiting.
    for (int operation = 0; operation < BLOCKING_OPERATION_COUNT; ++operation) {
        control->Block(operation);
    }
    Answers stuck = AskConcurrently(stores, 16, 20);
    EXPECT_EQ(stuck.configurations, std::set<std::string>{"|||"});
    EXPECT_EQ(stuck.trustedDomains, std::set<std::string>{""});
    EXPECT_EQ(stuck.trustStates, (std::set<std::string>{"0", "2"}));
    EXPECT_EQ(control->Calls(BLOCKING_ACTIVE_DOMAIN), 1);
    EXPECT_EQ(control->Calls(BLOCKING_TRUSTED_DOMAINS), 1);
    EXPECT_EQ(control->Calls(BLOCKING_TRUST_STATE), 1);
    EXPECT_EQ(LoggedLines().size(), 3u);  // one time-out per kind

    for (int operation = 0; operation < BLOCKING_OPERATION_COUNT; ++operation) {
        control->Release(operation);
    }
    ASSERT_TRUE(orvauth_test::WaitForThreadsToEnd());

    // Flowing freely, threads come and go, but never two of a kind at once.
    Answers flowing = AskConcurrently(stores, 16, 10);
    for (int operation = 0; operation < BLOCKING_OPERATION_COUNT; ++operation) {
        EXPECT_EQ(control->MaxConcurrent(operation), 1) << "operation " << operation;
    }
    EXPECT_GT(control->Calls(BLOCKING_TRUSTED_DOMAINS), 1);
    for (const std::string& answer : flowing.configurations) {
        EXPECT_TRUE(answer == "|||" || answer == "d.example|D||") << answer;
    }
    for (const std::string& answer : flowing.trustedDomains) {
        EXPECT_TRUE(answer == "" || answer == "t.example/T") << answer;
    }
    for (const std::string& answer : flowing.trustStates) {
        EXPECT_TRUE(answer == "0" || answer == "2" || answer == "9") << answer;
    }
}

}  // namespace
