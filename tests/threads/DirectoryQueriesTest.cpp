// The three background queries: time-outs fall back to the store's cache,
// one thread per kind runs at a time, late answers refresh the cache, and
// what the queries make of plug-in failures and missing operations.
#include "QueryFixture.h"

#include <orvane/authentication/Exceptions.h>

#include <syslog.h>
#include <typeindex>
#include <typeinfo>

using namespace orvane::authentication;
using orvauth_test::LoggedLines;
using orvauth_test::LogLine;
using orvauth_test::ScriptablePlugin;

namespace {

// One kind of query: how to ask the store, how to script the plug-in's
// answer number n (returning what the store should then say), and what the
// store says while the plug-in is held.
struct QueryKind {
    const char* name;
    int slot;  // the plug-in call the test holds
    std::string (*ask)(const ActiveDirectoryStore& store);
    std::string (*script)(ScriptablePlugin& plugin, int n);
    const char* whileHeld;
    const char* timeOutWarning;
};

// Answers outlive the calls that read them.
const char* Kept(int n, int part, const std::string& text)
{
    static std::string kept[4][3];
    return (kept[n][part] = text).c_str();
}

const QueryKind QUERIES[] = {
    {"StoreConfiguration", SCRIPTABLE_SLOT_GET_ACTIVE_DOMAIN, orvauth_test::ConfigurationOf,
     [](ScriptablePlugin& plugin, int n) {
         const std::string tag = std::to_string(n);
         plugin->answer[SCRIPTABLE_SLOT_GET_ACTIVE_DOMAIN] = Kept(n, 0, "d" + tag + ".example/D" + tag);
         plugin->answer[SCRIPTABLE_SLOT_GET_PREFERRED_DOMAIN_CONTROLLERS] = Kept(n, 1, "dc1.d" + tag + " dc2.d" + tag);
         plugin->answer[SCRIPTABLE_SLOT_GET_MACHINE_ACCOUNT_DN] = Kept(n, 2, "CN=host,DC=d" + tag);
         return "d" + tag + ".example|D" + tag + "|dc1.d" + tag + ",dc2.d" + tag + "|CN=host,DC=d" + tag;
     },
     "|||", "GetStoreConfiguration call timedout. Returning cached value."},
    {"TrustedDomains", SCRIPTABLE_SLOT_GET_TRUSTED_DOMAINS,
     [](const ActiveDirectoryStore& store) { return orvauth_test::Render(store.GetTrustedDomains()); },
     [](ScriptablePlugin& plugin, int n) {
         const std::string tag = std::to_string(n);
         plugin->answer[SCRIPTABLE_SLOT_GET_TRUSTED_DOMAINS] = Kept(n, 0, "t" + tag + ".example/T" + tag + " u.example/U");
         return "t" + tag + ".example/T" + tag + ";u.example/U";
     },
     "", "GetTrustedDomains call timedout. Returning cached value."},
    {"DomainTrustState", SCRIPTABLE_SLOT_GET_DOMAIN_TRUST_STATE,
     [](const ActiveDirectoryStore& store) { return std::to_string(store.GetDomainTrustState()); },
     [](ScriptablePlugin& plugin, int n) {
         plugin->status[SCRIPTABLE_SLOT_GET_DOMAIN_TRUST_STATE] = 100 + n;
         return std::to_string(100 + n);
     },
     // A trust state that cannot be had in time is reported as 2.
     "2", "GetDomainTrustState call timedout. Returning cached value."},
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
    const std::string late = query.script(plugin, 1);
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
    query.script(plugin, 2);
    EXPECT_EQ(query.ask(*store), query.slot == SCRIPTABLE_SLOT_GET_DOMAIN_TRUST_STATE ? "2" : late);
    EXPECT_EQ(LoggedLines().size(), 1u);

    orvauth_test::ClearLoggedLines();
    plugin.Hold(query.slot, false);
    ASSERT_TRUE(orvauth_test::WaitForThreadsToEnd());
    const std::string fresh = query.script(plugin, 3);
    EXPECT_EQ(query.ask(*store), fresh);
    EXPECT_EQ(plugin.Calls(query.slot), 3u);
    EXPECT_TRUE(LoggedLines().empty());
}

using DirectoryQuery = orvauth_test::QueryFixture;

TEST_F(DirectoryQuery, TrustedDomainsErrorReachesTheCallerWithItsExactClass)
{
    const struct {
        std::int32_t status;
        std::type_index type;
        const char* message;
    } cases[] = {
        {2, typeid(FileNotFoundException), "Exception 0x00000002: The system cannot find the file specified."},
        {0xdead, typeid(UnknownException), "Exception 0x0000dead: Unknown exception"},
    };
    plugin->answer[SCRIPTABLE_SLOT_GET_TRUSTED_DOMAINS] = "a.example/A";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.status);
        plugin->status[SCRIPTABLE_SLOT_GET_TRUSTED_DOMAINS] = c.status;
        try {
            store->GetTrustedDomains();
            ADD_FAILURE() << "no exception";
        } catch (const Exception& error) {
            EXPECT_EQ(std::type_index(typeid(error)), c.type);
            EXPECT_STREQ(error.what(), c.message);
        }
        // The failed worker let go of its flag: the next call asks again.
        plugin->status[SCRIPTABLE_SLOT_GET_TRUSTED_DOMAINS] = 0;
        EXPECT_EQ(orvauth_test::Render(store->GetTrustedDomains()), "a.example/A");
    }
    EXPECT_EQ(plugin.Calls(SCRIPTABLE_SLOT_GET_TRUSTED_DOMAINS), 4u);
    EXPECT_TRUE(LoggedLines().empty());
}

// Each part of the configuration is asked for on its own; a refresh replaces
// the whole cached configuration, and no plug-in error reaches the caller.
TEST_F(DirectoryQuery, StoreConfigurationKeepsWhatThePluginCouldAnswer)
{
    plugin->answer[SCRIPTABLE_SLOT_GET_ACTIVE_DOMAIN] = "d.example/D";
    plugin->answer[SCRIPTABLE_SLOT_GET_PREFERRED_DOMAIN_CONTROLLERS] = "dc1 dc2";
    plugin->answer[SCRIPTABLE_SLOT_GET_MACHINE_ACCOUNT_DN] = "CN=host";
    plugin->status[SCRIPTABLE_SLOT_GET_PREFERRED_DOMAIN_CONTROLLERS] = 1225;
    EXPECT_EQ(orvauth_test::ConfigurationOf(*store), "d.example|D||CN=host");
    plugin->status[SCRIPTABLE_SLOT_GET_ACTIVE_DOMAIN] = 0xdead;
    EXPECT_EQ(orvauth_test::ConfigurationOf(*store), "|||CN=host");
    plugin->status[SCRIPTABLE_SLOT_GET_PREFERRED_DOMAIN_CONTROLLERS] = 0;
    plugin->status[SCRIPTABLE_SLOT_GET_ACTIVE_DOMAIN] = 0;
    plugin.Operations().GetMachineAccountDN = nullptr;
    EXPECT_EQ(orvauth_test::ConfigurationOf(*store), "d.example|D|dc1,dc2|");
    EXPECT_TRUE(LoggedLines().empty());
}

TEST_F(DirectoryQuery, MissingOperationsGiveEmptyListAndTrustStateZero)
{
    plugin->answer[SCRIPTABLE_SLOT_GET_TRUSTED_DOMAINS] = "a.example/A";
    plugin->status[SCRIPTABLE_SLOT_GET_DOMAIN_TRUST_STATE] = 5;
    EXPECT_EQ(store->GetDomainTrustState(), 5u);
    plugin.Operations().GetDomainTrustState = nullptr;
    EXPECT_EQ(store->GetDomainTrustState(), 0u);
    EXPECT_EQ(orvauth_test::Render(store->GetTrustedDomains()), "a.example/A");
    plugin.Operations().GetTrustedDomains = nullptr;
    EXPECT_TRUE(store->GetTrustedDomains().empty());
    EXPECT_TRUE(LoggedLines().empty());
}

// The trust state asks for the trusted domains first: "not found" settles it
// as 7 without asking the plug-in further; any other failure is only logged.
TEST_F(DirectoryQuery, TrustStateAfterAFailedTrustedDomainsStep)
{
    plugin->status[SCRIPTABLE_SLOT_GET_DOMAIN_TRUST_STATE] = 5;
    plugin->status[SCRIPTABLE_SLOT_GET_TRUSTED_DOMAINS] = 2;
    EXPECT_EQ(store->GetDomainTrustState(), 7u);
    EXPECT_EQ(plugin.Calls(SCRIPTABLE_SLOT_GET_DOMAIN_TRUST_STATE), 0u);
    EXPECT_TRUE(LoggedLines().empty());

    plugin->status[SCRIPTABLE_SLOT_GET_TRUSTED_DOMAINS] = 1225;
    EXPECT_EQ(store->GetDomainTrustState(), 5u);
    EXPECT_EQ(LoggedLines(), (std::vector<LogLine>{
                                 {LOG_WARNING, "GetDomainTrustState: Call to GetTrustedDomains() failed: Exception "
                                               "0x000004c9: The remote computer refused the network connection."}}));
}

}  // namespace
