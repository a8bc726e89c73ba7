// What the queries make of plug-in failures and missing operations.
#include "BlockingStoreFixture.h"
#include "common/SyslogRecorder.h"

#include <orvane/authentication/Exceptions.h>

#include <syslog.h>
#include <typeindex>
#include <typeinfo>

using namespace orvane::authentication;
using orvauth_test::CStrings;
using orvauth_test::LoggedLines;
using orvauth_test::LogLine;

namespace {

using QueryFailureTest = orvauth_test::BlockingStoreFixture;

std::string ConfigurationOf(const ActiveDirectoryStore& store)
{
    std::unique_ptr<StoreConfiguration> configuration(store.GetStoreConfiguration());
    return orvauth_test::Render(*configuration);
}

TEST_F(QueryFailureTest, TrustedDomainsErrorReachesTheCallerWithItsExactClass)
{
    struct Case {
        std::int32_t status;
        std::type_index type;
        const char* message;
    };
    const Case cases[] = {
        {2, typeid(FileNotFoundException), "Exception 0x00000002: The system cannot find the file specified."},
        {1225, typeid(ConnectionRefusedException),
         "Exception 0x000004c9: The remote computer refused the network connection."},
        {1355, typeid(NoSuchDomainException),
         "Exception 0x0000054b: The specified domain either does not exist or could not be contacted."},
        {0xdead, typeid(UnknownException), "Exception 0x0000dead: Unknown exception"},
    };
    control->SetTrustedDomains(CStrings{"a.example", "A"}.Get());
    for (const Case& c : cases) {
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
TEST_F(QueryFailureTest, StoreConfigurationKeepsWhatThePluginCouldAnswer)
{
    control->SetActiveDomain("d.example", "D");
    control->SetPreferredControllers(CStrings{"dc1", "dc2"}.Get());
    control->SetMachineAccountDN("CN=host");
    EXPECT_EQ(ConfigurationOf(*store), "d.example|D|dc1,dc2|CN=host");

    control->SetStatus(BLOCKING_PREFERRED_CONTROLLERS, 1225);
    EXPECT_EQ(ConfigurationOf(*store), "d.example|D||CN=host");
    control->SetStatus(BLOCKING_ACTIVE_DOMAIN, 0xdead);
    EXPECT_EQ(ConfigurationOf(*store), "|||CN=host");
    control->SetStatus(BLOCKING_PREFERRED_CONTROLLERS, 0);
    control->SetStatus(BLOCKING_ACTIVE_DOMAIN, 0);

    control->RemoveSlot(BLOCKING_MACHINE_ACCOUNT_DN);
    EXPECT_EQ(ConfigurationOf(*store), "d.example|D|dc1,dc2|");
    control->SetActiveDomain("d.example", nullptr);
    EXPECT_EQ(ConfigurationOf(*store), "d.example||dc1,dc2|");

    for (int operation : {BLOCKING_ACTIVE_DOMAIN, BLOCKING_PREFERRED_CONTROLLERS}) {
        control->RemoveSlot(operation);
    }
    EXPECT_EQ(ConfigurationOf(*store), "|||");
    EXPECT_EQ(control->Calls(BLOCKING_ACTIVE_DOMAIN), 5);
    EXPECT_EQ(control->Calls(BLOCKING_PREFERRED_CONTROLLERS), 5);
    EXPECT_EQ(control->Calls(BLOCKING_MACHINE_ACCOUNT_DN), 3);
    EXPECT_TRUE(LoggedLines().empty());
}

TEST_F(QueryFailureTest, MissingOperationsGiveEmptyListAndTrustStateZero)
{
    control->SetTrustedDomains(CStrings{"a.example", "A"}.Get());
    control->SetTrustState(5);
    EXPECT_EQ(orvauth_test::Render(store->GetTrustedDomains()), "a.example/A");
    EXPECT_EQ(store->GetDomainTrustState(), 5u);

    control->RemoveSlot(BLOCKING_TRUST_STATE);
    EXPECT_EQ(store->GetDomainTrustState(), 0u);
    control->RemoveSlot(BLOCKING_TRUSTED_DOMAINS);
    EXPECT_TRUE(store->GetTrustedDomains().empty());
    EXPECT_EQ(store->GetDomainTrustState(), 0u);
    EXPECT_TRUE(LoggedLines().empty());
}

TEST_F(QueryFailureTest, TrustedDomainsNotFoundMeansTrustState7WithoutAskingThePlugin)
{
    control->SetTrustState(5);
    control->SetStatus(BLOCKING_TRUSTED_DOMAINS, 2);
    EXPECT_EQ(store->GetDomainTrustState(), 7u);
    EXPECT_EQ(control->Calls(BLOCKING_TRUSTED_DOMAINS), 1);
    EXPECT_EQ(control->Calls(BLOCKING_TRUST_STATE), 0);
    EXPECT_TRUE(LoggedLines().empty());
}

TEST_F(QueryFailureTest, OtherTrustedDomainsFailureIsLoggedAndTheTrustStateStillAsked)
{
    control->SetTrustState(5);
    control->SetStatus(BLOCKING_TRUSTED_DOMAINS, 1225);
    EXPECT_EQ(store->GetDomainTrustState(), 5u);
    EXPECT_EQ(LoggedLines(), (std::vector<LogLine>{
                                 {LOG_WARNING, "GetDomainTrustState: Call to GetTrustedDomains() failed: Exception "
                                               "0x000004c9: The remote computer refused the network connection."}}));
}

}  // namespace
