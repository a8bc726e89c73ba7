// The three background queries: time-outs fall back to the store's cache,
// one thread per kind runs at a time, late answers refresh the cache, and
// what the queries make of plug-in failures and missing operations.
#include "BlockingStoreFixture.h"

#include <orvane/authentication/Exceptions.h>

#include <syslog.h>
#include <typeindex>
#include <typeinfo>

using namespace orvane::authentication;
using orvauth_test::CStrings;
using orvauth_test::LoggedLines;
using orvauth_test::LogLine;

namespace {

// One kind of query: how to ask the store, how to script the plug-in's
// answer number n (returning what the store should then say), and what the
// store says while the plug-in is stuck.
struct QueryKind {
    const char* name;
    int operation;  // the plug-in operation the test holds
    std::string (*ask)(const ActiveDirectoryStore& store);
    std::string (*script)(const BlockingClientControlTable& control, int n);
    const char* whileStuck;
    const char* timeOutWarning;
};

std::string ConfigurationOf(const ActiveDirectoryStore& store)
{
    std::unique_ptr<StoreConfiguration> configuration(store.GetStoreConfiguration());
    return orvauth_test::Render(*configuration);
}

const QueryKind QUERIES[] = {
    {"StoreConfiguration", BLOCKING_ACTIVE_DOMAIN, ConfigurationOf,
     [](const BlockingClientControlTable& control, int n) {
         const std::string tag = std::to_string(n);
         control.SetActiveDomain(("d" + tag + ".example").c_str(), ("D" + tag).c_str());
         control.SetPreferredControllers(CStrings{"dc1.d" + tag, "dc2.d" + tag}.Get());
         control.SetMachineAccountDN(("CN=host,DC=d" + tag).c_str());
         return "d" + tag + ".example|D" + tag + "|dc1.d" + tag + ",dc2.d" + tag + "|CN=host,DC=d" + tag;
     },
     "|||", "GetStoreConfiguration call timedout. Returning cached value."},
    {"TrustedDomains", BLOCKING_TRUSTED_DOMAINS,
     [](const ActiveDirectoryStore& store) { return orvauth_test::Render(store.GetTrustedDomains()); },
     [](const BlockingClientControlTable& control, int n) {
         const std::string tag = std::to_string(n);
         control.SetTrustedDomains(CStrings{"t" + tag + ".example", "T" + tag, "u.example", "U"}.Get());
         return "t" + tag + ".example/T" + tag + ";u.example/U";
     },
     "", "GetTrustedDomains call timedout. Returning cached value."},
    {"DomainTrustState", BLOCKING_TRUST_STATE,
     [](const ActiveDirectoryStore& store) { return std::to_string(store.GetDomainTrustState()); },
     [](const BlockingClientControlTable& control, int n) {
         control.SetTrustState(100 + n);
         return std::to_string(100 + n);
     },
     // A trust state that cannot be had in time is reported as 2.
     "2", "GetDomainTrustState call timedout. Returning cached value."},
};

void PrintTo(const QueryKind& query, std::ostream* out) { *out << query.name; }

class CachedQuery : public orvauth_test::BlockingStoreFixture, public ::testing::WithParamInterface<QueryKind> {};

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

    control->Block(query.operation);
    const std::string late = query.script(*control, 1);
    EXPECT_EQ(query.ask(*store), query.whileStuck);  // after waiting out the time-out
    EXPECT_EQ(LoggedLines(), (std::vector<LogLine>{{LOG_WARNING, query.timeOutWarning}}));
    ASSERT_TRUE(control->WaitForCalls(query.operation, 1));

    // The worker still runs: the cache at once, no new thread, no warning.
    orvauth_test::ClearLoggedLines();
    EXPECT_EQ(query.ask(*store), query.whileStuck);
    EXPECT_TRUE(LoggedLines().empty());
    EXPECT_EQ(control->Calls(query.operation), 1);

    // The worker whose caller gave up still delivers: its answer is what the
    // next time-out falls back on (the trust state then says 2 regardless).
    control->Release(query.operation);
    ASSERT_TRUE(orvauth_test::WaitForThreadsToEnd());
    control->Block(query.operation);
    query.script(*control, 2);
    EXPECT_EQ(query.ask(*store), query.operation == BLOCKING_TRUST_STATE ? "2" : late);
    EXPECT_EQ(LoggedLines().size(), 1u);

    orvauth_test::ClearLoggedLines();
    control->Release(query.operation);
    ASSERT_TRUE(orvauth_test::WaitForThreadsToEnd());
    const std::string fresh = query.script(*control, 3);
    EXPECT_EQ(query.ask(*store), fresh);
    EXPECT_EQ(control->Calls(query.operation), 3);
    EXPECT_TRUE(LoggedLines().empty());
}

using DirectoryQuery = orvauth_test::BlockingStoreFixture;

TEST_F(DirectoryQuery, TrustedDomainsErrorReachesTheCallerWithItsExactClass)
{
    const struct {
        std::int32_t status;
        std::type_index type;
        const char* message;
    } cases[] = {
        {2, typeid(FileNotFoundException), "Exception 0x00000002: The system cannot find the file specified."},
        {1225, typeid(ConnectionRefusedException),
         "Exception 0x000004c9: The remote computer refused the network connection."},
        {1355, typeid(NoSuchDomainException),
         "Exception 0x0000054b: The specified domain either does not exist or could not be contacted."},
        {0xdead, typeid(UnknownException), "Exception 0x0000dead: Unknown exception"},
    };
    control->SetTrustedDomains(CStrings{"a.example", "A"}.Get());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.status);
        control->SetStatus(BLOCKING_TRUSTED_DOMAINS, c.status);
        try {
            store->GetTrustedDomains();
            ADD_FAILURE() << "no exception";
        } catch (const Exception& error) {
            EXPECT_EQ(std::type_index(typeid(error)), c.type);
            EXPECT_STREQ(error.what(), c.message);
        }
        // The failed worker let go of its flag: the next call asks again.
        control->SetStatus(BLOCKING_TRUSTED_DOMAINS, 0);
        EXPECT_EQ(orvauth_test::Render(store->GetTrustedDomains()), "a.example/A");
    }
    EXPECT_EQ(control->Calls(BLOCKING_TRUSTED_DOMAINS), 8);
    EXPECT_TRUE(LoggedLines().empty());
}

// Each part of the configuration is asked for on its own; a refresh replaces
// the whole cached configuration, and no plug-in error reaches the caller.
TEST_F(DirectoryQuery, StoreConfigurationKeepsWhatThePluginCouldAnswer)
{
    control->SetActiveDomain("d.example", "D");
    control->SetPreferredControllers(CStrings{"dc1", "dc2"}.Get());
    control->SetMachineAccountDN("CN=host");
    control->SetStatus(BLOCKING_PREFERRED_CONTROLLERS, 1225);
    EXPECT_EQ(ConfigurationOf(*store), "d.example|D||CN=host");
    control->SetStatus(BLOCKING_ACTIVE_DOMAIN, 0xdead);
    EXPECT_EQ(ConfigurationOf(*store), "|||CN=host");
    control->SetStatus(BLOCKING_PREFERRED_CONTROLLERS, 0);
    control->SetStatus(BLOCKING_ACTIVE_DOMAIN, 0);
    operations->GetMachineAccountDN = nullptr;
    EXPECT_EQ(ConfigurationOf(*store), "d.example|D|dc1,dc2|");
    operations->GetActiveDomain = nullptr;
    operations->GetPreferredDomainControllers = nullptr;
    EXPECT_EQ(ConfigurationOf(*store), "|||");
    EXPECT_TRUE(LoggedLines().empty());
}

TEST_F(DirectoryQuery, MissingOperationsGiveEmptyListAndTrustStateZero)
{
    control->SetTrustedDomains(CStrings{"a.example", "A"}.Get());
    control->SetTrustState(5);
    EXPECT_EQ(orvauth_test::Render(store->GetTrustedDomains()), "a.example/A");
    EXPECT_EQ(store->GetDomainTrustState(), 5u);

    operations->GetDomainTrustState = nullptr;
    EXPECT_EQ(store->GetDomainTrustState(), 0u);
    operations->GetTrustedDomains = nullptr;
    EXPECT_TRUE(store->GetTrustedDomains().empty());
    EXPECT_EQ(store->GetDomainTrustState(), 0u);
    EXPECT_TRUE(LoggedLines().empty());
}

// The trust state asks for the trusted domains first: "not found" settles it
// as 7 without asking the plug-in further; any other failure is only logged.
TEST_F(DirectoryQuery, TrustStateAfterAFailedTrustedDomainsStep)
{
    control->SetTrustState(5);
    control->SetStatus(BLOCKING_TRUSTED_DOMAINS, 2);
    EXPECT_EQ(store->GetDomainTrustState(), 7u);
    EXPECT_EQ(control->Calls(BLOCKING_TRUST_STATE), 0);
    EXPECT_TRUE(LoggedLines().empty());

    control->SetStatus(BLOCKING_TRUSTED_DOMAINS, 1225);
    EXPECT_EQ(store->GetDomainTrustState(), 5u);
    EXPECT_EQ(control->Calls(BLOCKING_TRUSTED_DOMAINS), 2);
    EXPECT_EQ(LoggedLines(), (std::vector<LogLine>{
                                 {LOG_WARNING, "GetDomainTrustState: Call to GetTrustedDomains() failed: Exception "
                                               "0x000004c9: The remote computer refused the network connection."}}));
}

}  // namespace
