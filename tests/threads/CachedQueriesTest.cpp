// The three background queries: time-outs fall back to the store's cache,
// one thread per kind runs at a time, and late answers refresh the cache.
#include "BlockingStoreFixture.h"
#include "ThreadSeam.h"
#include "common/SyslogRecorder.h"

#include <orvane/authentication/Exceptions.h>

#include <syslog.h>
#include <typeinfo>

using namespace orvane::authentication;
using orvauth_test::CStrings;
using orvauth_test::LoggedLines;
using orvauth_test::LogLine;

namespace {

// One kind of query: how to script the plug-in's answer number n, how to
// ask the store, and what the store says while the plug-in is stuck.
struct QueryKind {
    const char* name;
    int operation;  // the plug-in operation the test holds
    std::string (*ask)(const ActiveDirectoryStore& store);
    void (*script)(const BlockingClientControlTable& control, int n);
    std::string (*answer)(int n);
    const char* whileStuck;
    const char* timeOutWarning;
};

const QueryKind kQueries[] = {
    {"StoreConfiguration", BLOCKING_ACTIVE_DOMAIN,
     [](const ActiveDirectoryStore& store) {
         std::unique_ptr<StoreConfiguration> configuration(store.GetStoreConfiguration());
         return orvauth_test::Render(*configuration);
     },
     [](const BlockingClientControlTable& control, int n) {
         std::string tag = std::to_string(n);
         control.SetActiveDomain(("d" + tag + ".example").c_str(), ("D" + tag).c_str());
         control.SetPreferredControllers(CStrings{"dc1.d" + tag, "dc2.d" + tag}.Get());
         control.SetMachineAccountDN(("CN=host,DC=d" + tag).c_str());
     },
     [](int n) {
         std::string tag = std::to_string(n);
         return "d" + tag + ".example|D" + tag + "|dc1.d" + tag + ",dc2.d" + tag + "|CN=host,DC=d" + tag;
     },
     "|||", "GetStoreConfiguration call timedout. Returning cached value."},
    {"TrustedDomains", BLOCKING_TRUSTED_DOMAINS,
     [](const ActiveDirectoryStore& store) { return orvauth_test::Render(store.GetTrustedDomains()); },
     [](const BlockingClientControlTable& control, int n) {
         std::string tag = std::to_string(n);
         control.SetTrustedDomains(CStrings{"t" + tag + ".example", "T" + tag, "u.example", "U"}.Get());
     },
     [](int n) { return "t" + std::to_string(n) + ".example/T" + std::to_string(n) + ";u.example/U"; }, "",
     "GetTrustedDomains call timedout. Returning cached value."},
    {"DomainTrustState", BLOCKING_TRUST_STATE,
     [](const ActiveDirectoryStore& store) { return std::to_string(store.GetDomainTrustState()); },
     [](const BlockingClientControlTable& control, int n) { control.SetTrustState(100 + n); },
     [](int n) { return std::to_string(100 + n); },
     // A trust state that cannot be had in time is reported as 2.
     "2", "GetDomainTrustState call timedout. Returning cached value."},
};

void PrintTo(const QueryKind& query, std::ostream* out) { *out << query.name; }

class CachedQueryTest : public orvauth_test::BlockingStoreFixture,
                        public ::testing::WithParamInterface<QueryKind> {};

INSTANTIATE_TEST_SUITE_P(Queries, CachedQueryTest, ::testing::ValuesIn(kQueries),
                         [](const ::testing::TestParamInfo<QueryKind>& info) { return info.param.name; });

TEST_P(CachedQueryTest, TimeOutAnswersFromCacheUntilTheWorkerEnds)
{
    const QueryKind& query = GetParam();
    control->Block(query.operation);
    query.script(*control, 1);

    // Waits out the time-out once.
    EXPECT_EQ(query.ask(*store), query.whileStuck);
    EXPECT_EQ(LoggedLines(), (std::vector<LogLine>{{LOG_WARNING, query.timeOutWarning}}));
    ASSERT_TRUE(control->WaitForCalls(query.operation, 1));

    // The worker still runs: the cache at once, no new thread, no warning.
    orvauth_test::ClearLoggedLines();
    EXPECT_EQ(query.ask(*store), query.whileStuck);
    EXPECT_EQ(query.ask(*store), query.whileStuck);
    EXPECT_TRUE(LoggedLines().empty());
    EXPECT_EQ(control->Calls(query.operation), 1);

    control->Release(query.operation);
    ASSERT_TRUE(orvauth_test::WaitForThreadsToEnd());
    query.script(*control, 2);
    EXPECT_EQ(query.ask(*store), query.answer(2));
    EXPECT_EQ(control->Calls(query.operation), 2);
    EXPECT_TRUE(LoggedLines().empty());
}

TEST_P(CachedQueryTest, FailedThreadStartIsReportedAndTheNextCallStartsAgain)
{
    const QueryKind& query = GetParam();
    query.script(*control, 1);

    orvauth_test::FailThreadCreation(11);
    try {
        query.ask(*store);
        ADD_FAILURE() << "no exception";
    } catch (const Exception& error) {
        EXPECT_EQ(typeid(error), typeid(ThreadErrorException));
        EXPECT_STREQ(error.what(), "Thread Error: pthread_create failed. RC=11");
    }
    orvauth_test::FailThreadCreation(0);
    EXPECT_EQ(control->Calls(query.operation), 0);

    EXPECT_EQ(query.ask(*store), query.answer(1));
    EXPECT_EQ(control->Calls(query.operation), 1);
}

using QueryCacheTest = orvauth_test::BlockingStoreFixture;

// A worker whose caller gave up still delivers: its answer is what the
// store falls back on at the next time-out.
TEST_F(QueryCacheTest, LateAnswerRefreshesTheCache)
{
    const QueryKind& query = kQueries[1];
    control->Block(query.operation);
    query.script(*control, 1);
    EXPECT_EQ(query.ask(*store), "");
    control->Release(query.operation);
    ASSERT_TRUE(orvauth_test::WaitForThreadsToEnd());

    control->Block(query.operation);
    query.script(*control, 2);
    EXPECT_EQ(query.ask(*store), query.answer(1));
    EXPECT_EQ(LoggedLines().size(), 2u);
}

}  // namespace
