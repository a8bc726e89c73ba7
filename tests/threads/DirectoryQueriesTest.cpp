// The background queries: the completion record a worker and its waiting
// caller share; time-outs that fall back to the store's cache, one thread per
// kind, late answers that refresh the cache, what the queries make of plug-in
// failures and missing operations; workers that outlive their store.
#include "ThreadSeam.h"
#include "common/Files.h"
#include "common/Recorders.h"
#include "fixtures/ScriptablePluginLoader.h"

#include <orvane/authentication/ActiveDirectoryStore.h>
#include <orvane/authentication/Exceptions.h>
#include <orvane/authentication/ThreadUtil.h>

#include <atomic>
#include <boost/make_shared.hpp>
#include <climits>
#include <gtest/gtest.h>
#include <memory>
#include <syslog.h>
#include <thread>
#include <typeinfo>

using namespace orvane::authentication;
using namespace orvauth_test;

namespace {

TEST(RequestStateTest, ZeroOrNegativeSecondsDoNotWaitAndAFinishedRecordAnswersAtOnce)
{
    for (int seconds : {0, -1, INT_MIN}) {
        SCOPED_TRACE(seconds);
        auto state = boost::make_shared<RequestState>();
        try {
            state->WaitResult(seconds);
            ADD_FAILURE() << "no time-out";
        } catch (const ProviderCallTimedOutException& error) {
            EXPECT_STREQ(error.what(), "Provider call timed out.");
            EXPECT_EQ(error.Code(), 0u);
        }
        state->Done(nullptr);
        EXPECT_NO_THROW(state->WaitResult(seconds));
    }
}

// A store with a 1-second time-out on the scriptable plug-in, whose calls a
// test can hold; every case ends once all background queries have ended.
class QueryFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetConfigDir();
        WriteFile(ConfigFile("provider.conf"), "provider = \"scriptable\"\n");
        store = NewStore();
        ClearLoggedLines();
    }
    void TearDown() override
    {
        FailThreadCreation(0);
        for (int slot = 1; slot < SCRIPTABLE_SLOT_COUNT; ++slot) {
            plugin.Hold(slot, false);
        }
        store.reset();
        ASSERT_TRUE(WaitForThreadsToEnd());
    }
    static std::unique_ptr<ActiveDirectoryStore> NewStore() { return std::make_unique<ActiveDirectoryStore>(1); }

    ScriptablePlugin plugin{"scriptable"};
    std::unique_ptr<ActiveDirectoryStore> store;
};

// Text forms of the answers, for comparing whole answers at once.
std::string Render(const std::deque<Domain>& domains)
{
    std::string text;
    for (const Domain& domain : domains) {
        text += (text.empty() ? "" : ";") + domain.dnsName + "/" + domain.netbiosName;
    }
    return text;
}

std::string ConfigurationOf(const ActiveDirectoryStore& store)
{
    std::unique_ptr<StoreConfiguration> snapshot(store.GetStoreConfiguration());
    auto& configuration = dynamic_cast<const ActiveDirectoryStoreConfiguration&>(*snapshot);
    std::string controllers;
    for (const std::string& controller : configuration.preferredDomainControllers) {
        controllers += (controllers.empty() ? "" : ",") + controller;
    }
    return configuration.activeDomain.dnsName + "|" + configuration.activeDomain.netbiosName + "|" + controllers +
           "|" + configuration.machineAccountDN;
}

// One kind of query: the call the test holds, how to ask the store, what
// the store says while the call is held and after answers 1 and 3.
struct QueryKind {
    const char* name;
    int slot;
    std::string (*ask)(const ActiveDirectoryStore& store);
    const char *whileHeld, *says1, *says3;
};

// Answer n of the held call (the trust state answers with a value).
void Script(ScriptablePlugin& plugin, int slot, int n)
{
    static const char* const domains[] = {"", "a.example/A", "b.example/B", "c.example/C"};
    plugin->answer[slot] = domains[n];
    plugin->status[SCRIPTABLE_SLOT_GET_DOMAIN_TRUST_STATE] = 100 + n;
}

const QueryKind QUERIES[] = {
    {"StoreConfiguration", SCRIPTABLE_SLOT_GET_ACTIVE_DOMAIN, ConfigurationOf, "|||", "a.example|A||", "c.example|C||"},
    {"TrustedDomains", SCRIPTABLE_SLOT_GET_TRUSTED_DOMAINS,
     [](const ActiveDirectoryStore& store) { return Render(store.GetTrustedDomains()); }, "", "a.example/A",
     "c.example/C"},
    // A trust state that cannot be had in time is reported as 2.
    {"DomainTrustState", SCRIPTABLE_SLOT_GET_DOMAIN_TRUST_STATE,
     [](const ActiveDirectoryStore& store) { return std::to_string(store.GetDomainTrustState()); }, "2", "101", "103"},
};

void PrintTo(const QueryKind& query, std::ostream* out) { *out << query.name; }

class CachedQuery : public QueryFixture, public ::testing::WithParamInterface<QueryKind> {};

INSTANTIATE_TEST_SUITE_P(Queries, CachedQuery, ::testing::ValuesIn(QUERIES),
                         [](const ::testing::TestParamInfo<QueryKind>& info) { return info.param.name; });

TEST_P(CachedQuery, AnswersFromCacheWhileTheWorkerRuns)
{
    const QueryKind& query = GetParam();
    // A failed thread start is reported and leaves no flag behind.
    FailThreadCreation(11);
    try {
        query.ask(*store);
        ADD_FAILURE() << "no exception";
    } catch (const Exception& error) {
        EXPECT_EQ(typeid(error), typeid(ThreadErrorException));
        EXPECT_STREQ(error.what(), "Thread Error: pthread_create failed. RC=11");
    }
    FailThreadCreation(0);
    ClearLoggedLines();

    plugin.Hold(query.slot);
    Script(plugin, query.slot, 1);
    EXPECT_EQ(query.ask(*store), query.whileHeld);  // after waiting out the time-out
    EXPECT_EQ(LoggedLines(), (std::vector<LogLine>{
                                 {LOG_WARNING, "Get" + std::string(query.name) + " call timedout. Returning cached value."}}));
    ASSERT_TRUE(plugin.WaitForCalls(query.slot, 1));

    // The worker still runs: the cache at once, no new thread, no warning.
    ClearLoggedLines();
    EXPECT_EQ(query.ask(*store), query.whileHeld);
    EXPECT_TRUE(LoggedLines().empty());
    EXPECT_EQ(plugin.Calls(query.slot), 1u);

    // The worker whose caller gave up still delivers: its answer is what the
    // next time-out falls back on (the trust state then says 2 regardless).
    plugin.Hold(query.slot, false);
    ASSERT_TRUE(WaitForThreadsToEnd());
    plugin.Hold(query.slot);
    Script(plugin, query.slot, 2);
    EXPECT_EQ(query.ask(*store), query.slot == SCRIPTABLE_SLOT_GET_DOMAIN_TRUST_STATE ? "2" : query.says1);
    EXPECT_EQ(LoggedLines().size(), 1u);

    ClearLoggedLines();
    plugin.Hold(query.slot, false);
    ASSERT_TRUE(WaitForThreadsToEnd());
    Script(plugin, query.slot, 3);
    EXPECT_EQ(query.ask(*store), query.says3);
    EXPECT_EQ(plugin.Calls(query.slot), 3u);
    EXPECT_TRUE(LoggedLines().empty());
}

using DirectoryQuery = QueryFixture;

std::string Described(const Exception& error) { return typeid(error).name() + std::string(": ") + error.what(); }

// A trusted-domains failure reaches the caller with its exact class and lets
// the next call ask again. The trust state asks for the trusted domains
// first: "not found" settles it as 7 without asking on; any other failure is
// only logged.
TEST_F(DirectoryQuery, TrustedDomainsFailuresAndTheTrustStateAfterThem)
{
    plugin->status[SCRIPTABLE_SLOT_GET_DOMAIN_TRUST_STATE] = 5;
    for (std::int32_t status : {2, 1225}) {
        plugin->status[SCRIPTABLE_SLOT_GET_TRUSTED_DOMAINS] = status;
        std::string expected, reported;
        try {
            ThrowMappedException(status);
        } catch (const Exception& error) {
            expected = Described(error);
        }
        try {
            store->GetTrustedDomains();
        } catch (const Exception& error) {
            reported = Described(error);
        }
        EXPECT_EQ(expected, reported);
        EXPECT_EQ(store->GetDomainTrustState(), status == 2 ? 7u : 5u);
    }
    EXPECT_EQ(plugin.Calls(SCRIPTABLE_SLOT_GET_TRUSTED_DOMAINS), 4u);
    EXPECT_EQ(plugin.Calls(SCRIPTABLE_SLOT_GET_DOMAIN_TRUST_STATE), 1u);
    EXPECT_EQ(LoggedLines(), (std::vector<LogLine>{
                                 {LOG_WARNING, "GetDomainTrustState: Call to GetTrustedDomains() failed: Exception "
                                               "0x000004c9: The remote computer refused the network connection."}}));
}

// Each part of the configuration is asked for on its own; a part the
// plug-in fails to answer keeps its cached value (empty at first), "not
// joined" empties the domain and the account; no plug-in error reaches the
// caller. Missing operations give empty answers and a trust state of 0.
TEST_F(DirectoryQuery, WhatThePlugInCannotAnswerKeepsItsCachedValue)
{
    plugin->answer[SCRIPTABLE_SLOT_GET_ACTIVE_DOMAIN] = "d.example/D";
    plugin->answer[SCRIPTABLE_SLOT_GET_PREFERRED_DOMAIN_CONTROLLERS] = "dc1 dc2";
    plugin->answer[SCRIPTABLE_SLOT_GET_MACHINE_ACCOUNT_DN] = "CN=host";
    plugin->answer[SCRIPTABLE_SLOT_GET_TRUSTED_DOMAINS] = "a.example/A";
    plugin->status[SCRIPTABLE_SLOT_GET_DOMAIN_TRUST_STATE] = 5;
    plugin->status[SCRIPTABLE_SLOT_GET_PREFERRED_DOMAIN_CONTROLLERS] = 1225;
    EXPECT_EQ(ConfigurationOf(*store), "d.example|D||CN=host");
    plugin->status[SCRIPTABLE_SLOT_GET_PREFERRED_DOMAIN_CONTROLLERS] = 0;
    plugin->status[SCRIPTABLE_SLOT_GET_ACTIVE_DOMAIN] = 0xdead;
    plugin->status[SCRIPTABLE_SLOT_GET_MACHINE_ACCOUNT_DN] = 10060;
    EXPECT_EQ(ConfigurationOf(*store), "d.example|D|dc1,dc2|CN=host");
    plugin->status[SCRIPTABLE_SLOT_GET_ACTIVE_DOMAIN] = 2;
    EXPECT_EQ(ConfigurationOf(*store), "||dc1,dc2|");
    EXPECT_EQ(Render(store->GetTrustedDomains()), "a.example/A");
    EXPECT_EQ(store->GetDomainTrustState(), 5u);

    plugin.Reset();
    plugin->answer[SCRIPTABLE_SLOT_GET_ACTIVE_DOMAIN] = "d.example/D";
    for (int slot : {SCRIPTABLE_SLOT_GET_MACHINE_ACCOUNT_DN, SCRIPTABLE_SLOT_GET_TRUSTED_DOMAINS,
                     SCRIPTABLE_SLOT_GET_DOMAIN_TRUST_STATE}) {
        plugin.Remove(slot);
    }
    EXPECT_EQ(ConfigurationOf(*store), "d.example|D||");
    EXPECT_TRUE(store->GetTrustedDomains().empty());
    EXPECT_EQ(store->GetDomainTrustState(), 0u);
    EXPECT_TRUE(LoggedLines().empty());
}

// The worker owns the provider and the cache it fills: destroying the store
// neither unloads the plug-in under it nor frees the cache it writes into.
TEST(QueryLifetime, StoreDestroyedWhileItsWorkerRuns)
{
    ResetConfigDir();
    WriteFile(ConfigFile("provider.conf"), "provider = \"scriptable\"\n");
    const std::string path = PluginPath("scriptable");
    {
        auto plugin = std::make_unique<ScriptablePlugin>("scriptable");
        plugin->Hold(SCRIPTABLE_SLOT_GET_TRUSTED_DOMAINS);
        auto store = std::make_unique<ActiveDirectoryStore>(1);
        EXPECT_TRUE(store->GetTrustedDomains().empty());
        ASSERT_TRUE(plugin->WaitForCalls(SCRIPTABLE_SLOT_GET_TRUSTED_DOMAINS, 1));
        store.reset();
        plugin.reset();
        EXPECT_TRUE(IsLoaded(path)) << "unloaded under a running worker";
        ScriptablePlugin again("scriptable");  // resetting it lets the held call go
        ASSERT_TRUE(WaitForThreadsToEnd());
    }
    EXPECT_FALSE(IsLoaded(path));
}

using QueryThreads = QueryFixture;

// While the plug-in is held, one thread per kind of query is all there is,
// across callers and stores; every other caller gets its store's cache
// without waiting.
TEST_F(QueryThreads, OneThreadPerKindOfQueryAcrossCallersAndStores)
{
    const std::unique_ptr<ActiveDirectoryStore> others[] = {NewStore(), NewStore(), NewStore()};
    const ActiveDirectoryStore* stores[] = {store.get(), others[0].get(), others[1].get(), others[2].get()};
    const int slots[] = {SCRIPTABLE_SLOT_GET_ACTIVE_DOMAIN, SCRIPTABLE_SLOT_GET_TRUSTED_DOMAINS,
                         SCRIPTABLE_SLOT_GET_DOMAIN_TRUST_STATE};
    for (int slot : slots) {
        plugin.Hold(slot);
    }
    std::atomic<int> uncached{0};
    std::vector<std::thread> callers;
    for (int caller = 0; caller < 16; ++caller) {
        callers.emplace_back([&, caller] {
            for (int round = 0; round < 20; ++round) {
                const ActiveDirectoryStore& s = *stores[(caller + round) % 4];
                const TrustState state = s.GetDomainTrustState();  // 2 once its own wait timed out
                uncached += ConfigurationOf(s) != "|||" || !s.GetTrustedDomains().empty() || (state != 0 && state != 2);
            }
        });
    }
    for (std::thread& thread : callers) {
        thread.join();
    }
    EXPECT_EQ(0, uncached.load());
    for (int slot : slots) {
        EXPECT_EQ(plugin.Calls(slot), 1u) << slot;
    }
    EXPECT_EQ(LoggedLines().size(), 3u);  // one time-out per kind
}

}  // namespace
