// The three background queries: time-outs fall back to the store's cache,
// one thread per kind runs at a time, late answers refresh the cache, and
// what the queries make of plug-in failures and missing operations.
#include "QueryFixture.h"

#include <orvane/authentication/Exceptions.h>

#include <syslog.h>
#include <typeinfo>

using namespace orvane::authentication;
using orvauth_test::LoggedLines;
using orvauth_test::LogLine;
using orvauth_test::ScriptablePlugin;

namespace {

// One kind of query: the call the test holds, how to ask the store, what
// the store says while the call is held and after answer n (1 to 3).
struct QueryKind {
    const char* name;
    int slot;
    std::string (*ask)(const ActiveDirectoryStore& store);
    const char* whileHeld;
    const char* timeOutWarning;
    const char* says[4];
};

// Answer n of the held call (the trust state answers with a value).
void Script(ScriptablePlugin& plugin, int slot, int n)
{
    static const char* const domains[] = {"", "a.example/A", "b.example/B", "c.example/C"};
    plugin->answer[slot] = domains[n];
    plugin->status[SCRIPTABLE_SLOT_GET_DOMAIN_TRUST_STATE] = 100 + n;
}

const QueryKind QUERIES[] = {
    {"StoreConfiguration", SCRIPTABLE_SLOT_GET_ACTIVE_DOMAIN, orvauth_test::ConfigurationOf, "|||",
     "GetStoreConfiguration call timedout. Returning cached value.", {"", "a.example|A||", "b.example|B||", "c.example|C||"}},
    {"TrustedDomains", SCRIPTABLE_SLOT_GET_TRUSTED_DOMAINS,
     [](const ActiveDirectoryStore& store) { return orvauth_test::Render(store.GetTrustedDomains()); }, "",
     "GetTrustedDomains call timedout. Returning cached value.", {"", "a.example/A", "b.example/B", "c.example/C"}},
    // A trust state that cannot be had in time is reported as 2.
    {"DomainTrustState", SCRIPTABLE_SLOT_GET_DOMAIN_TRUST_STATE,
     [](const ActiveDirectoryStore& store) { return std::to_string(store.GetDomainTrustState()); }, "2",
     "GetDomainTrustState call timedout. Returning cached value.", {"", "101", "102", "103"}},
};

void PrintTo(const QueryKind& query, std::ostream* out) { *out << query.name; }

class CachedQuery : public orvauth_test::QueryFixture, public ::testing::WithParamInterface<QueryKind> {};

INSTANTIATE_TEST_SUITE_P(Queries, CachedQuery, ::testing::ValuesIn(QUERIES),
                         [](const ::testing::TestParamInfo<QueryKind>& info) { return info.param.name; });

TEST_P(CachedQuery, AnswersFromCacheWhileTheWorkerRuns)
{
    const QueryKind& query = GetParam();
    // A failed thread start is reported and leaves no flag behind.
    orvauth_test::FailThreadCreation(11);
    try {
        query.ask(*store);
        ADD_FAILURE() << "no exception";
    } catch (const Exception& error) {
        EXPECT_EQ(typeid(error), typeid(ThreadErrorException));
        EXPECT_STREQ(error.what(), "Thread Error: pthread_create failed. RC=11");
    }
    orvauth_test::FailThreadCreation(0);
    orvauth_test::ClearLoggedLines();

    plugin.Hold(query.slot);
    Script(plugin, query.slot, 1);
    EXPECT_EQ(query.ask(*store), query.whileHeld);  // after waiting out the time-out
    EXPECT_EQ(LoggedLines(), (std::vector<LogLine>{{LOG_WARNING, query.timeOutWarning}}));
    ASSERT_TRUE(plugin.WaitForCalls(query.slot, 1));

    // The worker still runs: the cache at once, no new thread, no warning.
    orvauth_test::ClearLoggedLines();
    EXPECT_EQ(query.ask(*store), query.whileHeld);
    EXPECT_TRUE(LoggedLines().empty());
    EXPECT_EQ(plugin.Calls(query.slot), 1u);

    // The worker whose caller gave up still delivers: its answer is what the
    // next time-out falls back on (the trust state then says 2 regardless).
    plugin.Hold(query.slot, false);
    ASSERT_TRUE(orvauth_test::WaitForThreadsToEnd());
    plugin.Hold(query.slot);
    Script(plugin, query.slot, 2);
    EXPECT_EQ(query.ask(*store), query.slot == SCRIPTABLE_SLOT_GET_DOMAIN_TRUST_STATE ? "2" : query.says[1]);
    EXPECT_EQ(LoggedLines().size(), 1u);

    orvauth_test::ClearLoggedLines();
    plugin.Hold(query.slot, false);
    ASSERT_TRUE(orvauth_test::WaitForThreadsToEnd());
    Script(plugin, query.slot, 3);
    EXPECT_EQ(query.ask(*store), query.says[3]);
    EXPECT_EQ(plugin.Calls(query.slot), 3u);
    EXPECT_TRUE(LoggedLines().empty());
}

using DirectoryQuery = orvauth_test::QueryFixture;

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

// Each part of the configuration is asked for on its own and a refresh
// replaces the whole cached configuration; no plug-in error reaches the
// caller. Missing operations give empty answers and a trust state of 0.
TEST_F(DirectoryQuery, WhatThePlugInCannotAnswerIsLeftEmpty)
{
    plugin->answer[SCRIPTABLE_SLOT_GET_ACTIVE_DOMAIN] = "d.example/D";
    plugin->answer[SCRIPTABLE_SLOT_GET_PREFERRED_DOMAIN_CONTROLLERS] = "dc1 dc2";
    plugin->answer[SCRIPTABLE_SLOT_GET_MACHINE_ACCOUNT_DN] = "CN=host";
    plugin->answer[SCRIPTABLE_SLOT_GET_TRUSTED_DOMAINS] = "a.example/A";
    plugin->status[SCRIPTABLE_SLOT_GET_DOMAIN_TRUST_STATE] = 5;
    plugin->status[SCRIPTABLE_SLOT_GET_PREFERRED_DOMAIN_CONTROLLERS] = 1225;
    EXPECT_EQ(orvauth_test::ConfigurationOf(*store), "d.example|D||CN=host");
    plugin->status[SCRIPTABLE_SLOT_GET_ACTIVE_DOMAIN] = 0xdead;
    EXPECT_EQ(orvauth_test::ConfigurationOf(*store), "|||CN=host");
    EXPECT_EQ(orvauth_test::Render(store->GetTrustedDomains()), "a.example/A");
    EXPECT_EQ(store->GetDomainTrustState(), 5u);

    plugin.Reset();
    plugin->answer[SCRIPTABLE_SLOT_GET_ACTIVE_DOMAIN] = "d.example/D";
    for (int slot : {SCRIPTABLE_SLOT_GET_MACHINE_ACCOUNT_DN, SCRIPTABLE_SLOT_GET_TRUSTED_DOMAINS,
                     SCRIPTABLE_SLOT_GET_DOMAIN_TRUST_STATE}) {
        plugin.Remove(slot);
    }
    EXPECT_EQ(orvauth_test::ConfigurationOf(*store), "d.example|D||");
    EXPECT_TRUE(store->GetTrustedDomains().empty());
    EXPECT_EQ(store->GetDomainTrustState(), 0u);
    EXPECT_TRUE(LoggedLines().empty());
}

}  // namespace
