// The provider's operations against the scriptable plug-in: what reaches
// the plug-in, how its results come back, that every result is handed back
// to the plug-in, and the join retries.
#include "common/SleepRecorder.h"
#include "common/SyslogRecorder.h"
#include "plugins/ScriptablePluginLoader.h"

#include <orvane/authentication/ActiveDirectoryProvider.h>
#include <orvane/authentication/Exceptions.h>

#include <gtest/gtest.h>

#include <functional>
#include <syslog.h>

using namespace orvane::authentication;
using orvauth_test::ScriptablePlugin;

namespace {

class ProviderOperations : public ::testing::Test {
protected:
    void SetUp() override
    {
        orvauth_test::ClearSleepCalls();
        orvauth_test::ClearLoggedLines();
    }

    // Every result the plug-in handed out went back to it.
    void ExpectAllReleased()
    {
        EXPECT_EQ(0, plugin->outstandingResults);
    }

    ScriptablePlugin plugin{"scriptable"};
    ActiveDirectoryProvider provider{"scriptable"};
};

std::string Recorded(const ScriptableText& text) { return text.isNull ? "(null)" : text.text; }

// --- arguments ---------------------------------------------------------------

TEST_F(ProviderOperations, JoinDomainPassesANullUnitForAnEmptyOne)
{
    Credentials credentials = {"admin", "secret"};
    provider.JoinDomain("example.test", "", credentials);
    EXPECT_EQ("example.test", Recorded(plugin->joinDomain.domain));
    EXPECT_EQ("(null)", Recorded(plugin->joinDomain.organizationalUnit));
    EXPECT_EQ(&credentials, plugin->joinDomain.credentials.credentialsAddress);

    provider.JoinDomain("example.test", "OU=Hosts", credentials);
    EXPECT_EQ("OU=Hosts", Recorded(plugin->joinDomain.organizationalUnit));
}

TEST_F(ProviderOperations, PartDomainPassesTheCredentialsOrNull)
{
    provider.PartDomain();
    EXPECT_TRUE(plugin->partDomain.credentialsNull);

    Credentials credentials = {"admin", "secret"};
    provider.PartDomain(credentials);
    EXPECT_EQ(&credentials, plugin->partDomain.credentialsAddress);
    EXPECT_EQ(2u, plugin->calls[SCRIPTABLE_SLOT_PART_DOMAIN]);
}

TEST_F(ProviderOperations, PassesListsAsNullTerminatedArraysInOrder)
{
    provider.SetPreferredDomainControllers({"dc2.example.test", "dc1.example.test"});
    const ScriptableTextArray& controllers = plugin->arrayArgument[SCRIPTABLE_SLOT_SET_PREFERRED_DOMAIN_CONTROLLERS];
    ASSERT_EQ(2, controllers.count);
    EXPECT_EQ("dc2.example.test", Recorded(controllers.items[0]));
    EXPECT_EQ("dc1.example.test", Recorded(controllers.items[1]));

    provider.SetSmartCardEnabledServices({"login", "sshd", "console"});
    const ScriptableTextArray& services = plugin->arrayArgument[SCRIPTABLE_SLOT_SET_SMART_CARD_ENABLED_SERVICES];
    ASSERT_EQ(3, services.count);
    EXPECT_EQ("console", Recorded(services.items[2]));

    provider.SetPreferredDomainControllers({});
    provider.SetSmartCardEnabledServices({});
    EXPECT_FALSE(controllers.isNull);
    EXPECT_EQ(0, controllers.count);
    EXPECT_FALSE(services.isNull);
    EXPECT_EQ(0, services.count);
}

TEST_F(ProviderOperations, PassesAnEmptySelectorAsNull)
{
    plugin->stringResult[SCRIPTABLE_SLOT_GET_ANY_DOMAIN_CONTROLLER] = "dc1.example.test";
    EXPECT_EQ("dc1.example.test", provider.GetAnyDomainController("", "example.test"));
    EXPECT_EQ("(null)", Recorded(plugin->stringArgument[SCRIPTABLE_SLOT_GET_ANY_DOMAIN_CONTROLLER]));
    EXPECT_EQ("example.test", Recorded(plugin->secondStringArgument[SCRIPTABLE_SLOT_GET_ANY_DOMAIN_CONTROLLER]));

    provider.GetAnyDomainController("pdc", "example.test");
    EXPECT_EQ("pdc", Recorded(plugin->stringArgument[SCRIPTABLE_SLOT_GET_ANY_DOMAIN_CONTROLLER]));
    ExpectAllReleased();
}

// --- results -----------------------------------------------------------------

struct SingleStringCase {
    const char* label;
    int slot;
    std::function<std::string(const ActiveDirectoryProvider&)> call;
    const char* argument;  // the text argument the plug-in must see, if any
};

TEST_F(ProviderOperations, CopiesAndReleasesSingleStrings)
{
    const SingleStringCase cases[] = {
        {"GetMachineAccountDN", SCRIPTABLE_SLOT_GET_MACHINE_ACCOUNT_DN,
         [](const ActiveDirectoryProvider& p) { return p.GetMachineAccountDN(); }, nullptr},
        {"ConvertCanonicalUsername", SCRIPTABLE_SLOT_CONVERT_CANONICAL_USERNAME,
         [](const ActiveDirectoryProvider& p) { return p.ConvertCanonicalUsername("EXAMPLE\\jo"); }, "EXAMPLE\\jo"},
        {"GetHostPrincipalForDomain", SCRIPTABLE_SLOT_GET_HOST_PRINCIPAL_FOR_DOMAIN,
         [](const ActiveDirectoryProvider& p) { return p.GetHostPrincipalForDomain("example.test"); },
         "example.test"},
        {"GetAnyDomainController", SCRIPTABLE_SLOT_GET_ANY_DOMAIN_CONTROLLER,
         [](const ActiveDirectoryProvider& p) { return p.GetAnyDomainController("", "example.test"); }, nullptr},
    };
    for (const SingleStringCase& c : cases) {
        plugin.Reset();
        plugin->stringResult[c.slot] = "CN=host,DC=example";
        EXPECT_EQ("CN=host,DC=example", c.call(provider)) << c.label;
        if (c.argument != nullptr) {
            EXPECT_EQ(c.argument, Recorded(plugin->stringArgument[c.slot])) << c.label;
        }
        EXPECT_EQ(1u, plugin->releaseCalls) << c.label;

        // A null string reads as empty and still goes back to the plug-in.
        plugin->stringResult[c.slot] = nullptr;
        EXPECT_EQ("", c.call(provider)) << c.label;
        EXPECT_EQ(2u, plugin->releaseCalls) << c.label;
        EXPECT_EQ(1u, plugin->nullReleaseCalls) << c.label;
        ExpectAllReleased();
    }
}

struct ActiveDomainCase {
    const char* dnsName;
    const char* netbiosName;
    unsigned releases;
};

TEST_F(ProviderOperations, ReleasesEachActiveDomainNameItGot)
{
    const ActiveDomainCase cases[] = {
        {"example.test", "EXAMPLE", 2},
        {"example.test", nullptr, 1},
        {nullptr, "EXAMPLE", 1},
        {nullptr, nullptr, 0},
    };
    for (const ActiveDomainCase& c : cases) {
        plugin.Reset();
        plugin->activeDomain = {c.dnsName, c.netbiosName};
        const Domain domain = provider.GetActiveDomain();
        EXPECT_EQ(c.dnsName ? c.dnsName : "", domain.dnsName);
        EXPECT_EQ(c.netbiosName ? c.netbiosName : "", domain.netbiosName);
        EXPECT_EQ(c.releases, plugin->releaseCalls);
        EXPECT_EQ(0u, plugin->nullReleaseCalls);
        ExpectAllReleased();
    }
}

TEST_F(ProviderOperations, CopiesStringArraysAndReleasesThemOnce)
{
    plugin->stringArray[SCRIPTABLE_SLOT_GET_PREFERRED_DOMAIN_CONTROLLERS] = {0, {"dc1", "dc2", "dc3"}};
    plugin->stringArray[SCRIPTABLE_SLOT_GET_SMART_CARD_ENABLED_SERVICES] = {0, {"login", "sshd"}};
    EXPECT_EQ((std::deque<std::string>{"dc1", "dc2", "dc3"}), provider.GetPreferredDomainControllers());
    EXPECT_EQ((std::vector<std::string>{"login", "sshd"}), provider.GetSmartCardEnabledServices());
    EXPECT_EQ(2u, plugin->releaseCalls);

    // An array holding only its terminator, and no array at all.
    plugin->stringArray[SCRIPTABLE_SLOT_GET_PREFERRED_DOMAIN_CONTROLLERS] = {0, {nullptr}};
    plugin->stringArray[SCRIPTABLE_SLOT_GET_SMART_CARD_ENABLED_SERVICES] = {1, {"ignored"}};
    EXPECT_TRUE(provider.GetPreferredDomainControllers().empty());
    EXPECT_TRUE(provider.GetSmartCardEnabledServices().empty());
    EXPECT_EQ(4u, plugin->releaseCalls);
    EXPECT_EQ(1u, plugin->nullReleaseCalls);
    ExpectAllReleased();
}

TEST_F(ProviderOperations, ConvertsTrustedDomainRecords)
{
    plugin->trustedDomainCount = 2;
    plugin->trustedDomains[0] = {"example.test", "EXAMPLE"};
    plugin->trustedDomains[1] = {"child.example.test", "CHILD"};
    const std::deque<Domain> domains = provider.GetTrustedDomains();
    ASSERT_EQ(2u, domains.size());
    EXPECT_EQ("example.test", domains[0].dnsName);
    EXPECT_EQ("EXAMPLE", domains[0].netbiosName);
    EXPECT_EQ("child.example.test", domains[1].dnsName);
    EXPECT_EQ("CHILD", domains[1].netbiosName);
    EXPECT_EQ(1u, plugin->releaseCalls);
    ExpectAllReleased();
}

TEST_F(ProviderOperations, ReadsNullNamesInTrustedDomainRecordsAsEmpty)
{
    plugin->trustedDomainCount = 2;
    plugin->trustedDomains[0] = {nullptr, "EXAMPLE"};
    plugin->trustedDomains[1] = {"child.example.test", nullptr};
    const std::deque<Domain> domains = provider.GetTrustedDomains();
    ASSERT_EQ(2u, domains.size());
    EXPECT_EQ("", domains[0].dnsName);
    EXPECT_EQ("EXAMPLE", domains[0].netbiosName);
    EXPECT_EQ("", domains[1].netbiosName);
    ExpectAllReleased();
}

TEST_F(ProviderOperations, ReleasesANullTrustedDomainArrayOnce)
{
    plugin->nullTrustedDomainArray = 1;
    EXPECT_TRUE(provider.GetTrustedDomains().empty());
    EXPECT_EQ(1u, plugin->releaseCalls);
    EXPECT_EQ(1u, plugin->nullReleaseCalls);
}

TEST_F(ProviderOperations, ReturnsUncheckedValuesUnchanged)
{
    for (std::uint32_t value : {0u, 1326u, 0xFFFF0000u, 0xFFFFFFFFu}) {
        plugin->trustState = value;
        plugin->trustRelationship = value;
        EXPECT_EQ(value, provider.GetDomainTrustState());
        EXPECT_EQ(value, provider.GetDomainTrustRelationship("example.test"));
    }
    EXPECT_EQ("example.test", Recorded(plugin->stringArgument[SCRIPTABLE_SLOT_GET_DOMAIN_TRUST_RELATIONSHIP]));
}

// --- failures ----------------------------------------------------------------

struct OperationCase {
    const char* label;
    int slot;
    std::function<void(const ActiveDirectoryProvider&)> call;
    std::function<void(ActiveDirectoryClientOperations&)> removeSlot;
};

const Credentials NO_CREDENTIALS = {nullptr, nullptr};

const OperationCase STATUS_OPERATIONS[] = {
#define SLOT(field) [](ActiveDirectoryClientOperations& table) { table.field = nullptr; }
    {"JoinDomain", SCRIPTABLE_SLOT_JOIN_DOMAIN,
     [](const ActiveDirectoryProvider& p) { p.JoinDomain("example.test", "", NO_CREDENTIALS); }, SLOT(JoinDomain)},
    {"JoinDomainWithMachineAccount", SCRIPTABLE_SLOT_JOIN_DOMAIN_WITH_MACHINE_ACCOUNT,
     [](const ActiveDirectoryProvider& p) { p.JoinDomainWithMachineAccount({}, {}); },
     SLOT(JoinDomainWithMachineAccount)},
    {"PartDomain", SCRIPTABLE_SLOT_PART_DOMAIN, [](const ActiveDirectoryProvider& p) { p.PartDomain(); },
     SLOT(PartDomain)},
    {"PartDomain(credentials)", SCRIPTABLE_SLOT_PART_DOMAIN,
     [](const ActiveDirectoryProvider& p) { p.PartDomain(NO_CREDENTIALS); }, SLOT(PartDomain)},
    {"GetActiveDomain", SCRIPTABLE_SLOT_GET_ACTIVE_DOMAIN, [](const ActiveDirectoryProvider& p) { p.GetActiveDomain(); },
     SLOT(GetActiveDomain)},
    {"SetPreferredDomainControllers", SCRIPTABLE_SLOT_SET_PREFERRED_DOMAIN_CONTROLLERS,
     [](const ActiveDirectoryProvider& p) { p.SetPreferredDomainControllers({"dc1"}); },
     SLOT(SetPreferredDomainControllers)},
    {"GetPreferredDomainControllers", SCRIPTABLE_SLOT_GET_PREFERRED_DOMAIN_CONTROLLERS,
     [](const ActiveDirectoryProvider& p) { p.GetPreferredDomainControllers(); },
     SLOT(GetPreferredDomainControllers)},
    {"GetTrustedDomains", SCRIPTABLE_SLOT_GET_TRUSTED_DOMAINS,
     [](const ActiveDirectoryProvider& p) { p.GetTrustedDomains(); }, SLOT(GetTrustedDomains)},
    {"GetMachineAccountDN", SCRIPTABLE_SLOT_GET_MACHINE_ACCOUNT_DN,
     [](const ActiveDirectoryProvider& p) { p.GetMachineAccountDN(); }, SLOT(GetMachineAccountDN)},
    {"GetAnyDomainController", SCRIPTABLE_SLOT_GET_ANY_DOMAIN_CONTROLLER,
     [](const ActiveDirectoryProvider& p) { p.GetAnyDomainController("", "example.test"); },
     SLOT(GetAnyDomainController)},
    {"ConvertCanonicalUsername", SCRIPTABLE_SLOT_CONVERT_CANONICAL_USERNAME,
     [](const ActiveDirectoryProvider& p) { p.ConvertCanonicalUsername("jo"); }, SLOT(ConvertCanonicalUsername)},
    {"GetHostPrincipalForDomain", SCRIPTABLE_SLOT_GET_HOST_PRINCIPAL_FOR_DOMAIN,
     [](const ActiveDirectoryProvider& p) { p.GetHostPrincipalForDomain("example.test"); },
     SLOT(GetHostPrincipalForDomain)},
    {"SetSmartCardEnabledServices", SCRIPTABLE_SLOT_SET_SMART_CARD_ENABLED_SERVICES,
     [](const ActiveDirectoryProvider& p) { p.SetSmartCardEnabledServices({"login"}); },
     SLOT(SetSmartCardEnabledServices)},
    {"GetSmartCardEnabledServices", SCRIPTABLE_SLOT_GET_SMART_CARD_ENABLED_SERVICES,
     [](const ActiveDirectoryProvider& p) { p.GetSmartCardEnabledServices(); }, SLOT(GetSmartCardEnabledServices)},
};

const OperationCase UNCHECKED_OPERATIONS[] = {
    {"GetDomainTrustState", SCRIPTABLE_SLOT_GET_DOMAIN_TRUST_STATE,
     [](const ActiveDirectoryProvider& p) { p.GetDomainTrustState(); }, SLOT(GetDomainTrustState)},
    {"GetDomainTrustRelationship", SCRIPTABLE_SLOT_GET_DOMAIN_TRUST_RELATIONSHIP,
     [](const ActiveDirectoryProvider& p) { p.GetDomainTrustRelationship("example.test"); },
     SLOT(GetDomainTrustRelationship)},
#undef SLOT
};

TEST_F(ProviderOperations, MapsANonZeroStatusAndLeavesResultsAlone)
{
    for (const OperationCase& c : STATUS_OPERATIONS) {
        plugin.Reset();
        plugin->status[c.slot] = 5;
        // Results the plug-in must not hand out after a failure.
        plugin->stringResult[c.slot] = "unused";
        plugin->activeDomain = {"unused", "unused"};
        try {
            c.call(provider);
            ADD_FAILURE() << c.label << " returned";
        } catch (const AccessDeniedException& error) {
            EXPECT_EQ(5u, error.Code()) << c.label;
        }
        EXPECT_EQ(1u, plugin->calls[c.slot]) << c.label;
        EXPECT_EQ(0u, plugin->releaseCalls) << c.label;
    }
}

TEST_F(ProviderOperations, ReportsAMissingSlotAsNotImplemented)
{
    std::vector<OperationCase> cases(std::begin(STATUS_OPERATIONS), std::end(STATUS_OPERATIONS));
    cases.insert(cases.end(), std::begin(UNCHECKED_OPERATIONS), std::end(UNCHECKED_OPERATIONS));
    for (const OperationCase& c : cases) {
        plugin.Reset();
        c.removeSlot(plugin.Operations());
        try {
            c.call(provider);
            ADD_FAILURE() << c.label << " returned";
        } catch (const CallNotImplementedException& error) {
            EXPECT_EQ(120u, error.Code()) << c.label;
            EXPECT_STREQ("Exception 0x00000078: This function is not supported on this system.", error.what());
        }
    }
}

// The operations table's version decides, whatever the metadata says.
TEST(ProviderVersionOne, HasNoMachineAccountJoinOrHostPrincipal)
{
    ScriptablePlugin plugin("scriptable_operations_v1");
    ActiveDirectoryProvider provider("scriptable_operations_v1");
    EXPECT_EQ(3, plugin.Metadata().apiVersion);
    EXPECT_EQ(1, provider.GetAPIVersion());
    EXPECT_THROW(provider.JoinDomainWithMachineAccount({}, {}), CallNotImplementedException);
    EXPECT_THROW(provider.GetHostPrincipalForDomain("example.test"), CallNotImplementedException);
    EXPECT_EQ(0u, plugin->calls[SCRIPTABLE_SLOT_JOIN_DOMAIN_WITH_MACHINE_ACCOUNT]);
    EXPECT_EQ(0u, plugin->calls[SCRIPTABLE_SLOT_GET_HOST_PRINCIPAL_FOR_DOMAIN]);
    // Version-one operations still work.
    plugin->stringResult[SCRIPTABLE_SLOT_GET_MACHINE_ACCOUNT_DN] = "CN=host";
    EXPECT_EQ("CN=host", provider.GetMachineAccountDN());
}

// --- join retries -------------------------------------------------------------

struct RetryCase {
    const char* label;
    std::vector<std::int32_t> statuses;  // the plug-in's answers, in order; the last repeats
    unsigned expectedCalls;
    bool throws;
};

const RetryCase RETRY_CASES[] = {
    {"logon failure throughout", {1326}, 8, true},
    {"transient failure throughout", {static_cast<std::int32_t>(0xFFFF0000u)}, 8, true},
    {"success after two logon failures", {1326, 1326, 0}, 3, false},
    {"success at the eighth call", {1326, 1326, 1326, 1326, 1326, 1326, 1326, 0}, 8, false},
    {"other status after a transient one", {static_cast<std::int32_t>(0xFFFF0000u), 5}, 2, true},
    {"other status at once", {1355}, 1, true},
    {"success at once", {0}, 1, false},
};

void Script(ScriptablePlugin& plugin, int slot, const std::vector<std::int32_t>& statuses)
{
    for (std::size_t i = 0; i + 1 < statuses.size(); ++i) {
        plugin->statusSequence[slot][i] = statuses[i];
    }
    plugin->statusSequenceLength[slot] = static_cast<int>(statuses.size() - 1);
    plugin->status[slot] = statuses.back();
}

// Sleeps follow every retryable answer, the eighth included.
std::vector<unsigned> ExpectedSleeps(const std::vector<std::int32_t>& statuses, unsigned calls)
{
    std::vector<unsigned> sleeps;
    for (unsigned call = 0; call < calls; ++call) {
        const std::int32_t status = statuses[std::min<std::size_t>(call, statuses.size() - 1)];
        if (status == 1326 || status == static_cast<std::int32_t>(0xFFFF0000u)) {
            sleeps.push_back(30);
        }
    }
    return sleeps;
}

TEST_F(ProviderOperations, RetriesJoinDomainOnTheTwoRetryableStatuses)
{
    const Credentials credentials = {"admin", "secret"};
    for (const RetryCase& c : RETRY_CASES) {
        plugin.Reset();
        orvauth_test::ClearSleepCalls();
        Script(plugin, SCRIPTABLE_SLOT_JOIN_DOMAIN, c.statuses);
        if (c.throws) {
            try {
                provider.JoinDomain("example.test", "", credentials);
                ADD_FAILURE() << c.label << ": no exception";
            } catch (const Exception& error) {
                EXPECT_EQ(static_cast<std::uint32_t>(c.statuses.back()), error.Code()) << c.label;
            }
        } else {
            EXPECT_NO_THROW(provider.JoinDomain("example.test", "", credentials)) << c.label;
        }
        EXPECT_EQ(c.expectedCalls, plugin->calls[SCRIPTABLE_SLOT_JOIN_DOMAIN]) << c.label;
        EXPECT_EQ(ExpectedSleeps(c.statuses, c.expectedCalls), orvauth_test::SleepCalls()) << c.label;
    }
    EXPECT_TRUE(orvauth_test::LoggedLines().empty());
}

TEST_F(ProviderOperations, RetriesAndLogsTheMachineAccountJoin)
{
    for (const RetryCase& c : RETRY_CASES) {
        plugin.Reset();
        orvauth_test::ClearSleepCalls();
        orvauth_test::ClearLoggedLines();
        Script(plugin, SCRIPTABLE_SLOT_JOIN_DOMAIN_WITH_MACHINE_ACCOUNT, c.statuses);
        try {
            provider.JoinDomainWithMachineAccount({}, {});
            EXPECT_FALSE(c.throws) << c.label;
        } catch (const Exception& error) {
            EXPECT_TRUE(c.throws) << c.label;
            EXPECT_EQ(static_cast<std::uint32_t>(c.statuses.back()), error.Code()) << c.label;
        }
        EXPECT_EQ(c.expectedCalls, plugin->calls[SCRIPTABLE_SLOT_JOIN_DOMAIN_WITH_MACHINE_ACCOUNT]) << c.label;
        EXPECT_EQ(ExpectedSleeps(c.statuses, c.expectedCalls), orvauth_test::SleepCalls()) << c.label;

        std::vector<orvauth_test::LogLine> expectedLines;
        for (unsigned attempt = 1; attempt <= c.expectedCalls; ++attempt) {
            expectedLines.push_back({LOG_INFO, "Adding host to domain: Attempt (" + std::to_string(attempt) + "/8)"});
        }
        EXPECT_EQ(expectedLines, orvauth_test::LoggedLines()) << c.label;
    }
}

TEST_F(ProviderOperations, ThrowsTheMappedClassAfterTheLastRetry)
{
    plugin->status[SCRIPTABLE_SLOT_JOIN_DOMAIN] = 1326;
    EXPECT_THROW(provider.JoinDomain("example.test", "", NO_CREDENTIALS), LogonFailureException);
    plugin->status[SCRIPTABLE_SLOT_JOIN_DOMAIN] = static_cast<std::int32_t>(0xFFFF0000u);
    EXPECT_THROW(provider.JoinDomain("example.test", "", NO_CREDENTIALS), UnknownException);
}

TEST_F(ProviderOperations, PassesTheProxyRecordsInMemberOrder)
{
    const JORV::DirectoryDomainInfo domain = {"", "EXAMPLE", "example.test", "S-1-5-21-1-2-3"};
    const JORV::MachineAccountInfo account = {"esx01", "example.test", "", "first", "second"};
    provider.JoinDomainWithMachineAccount(domain, account);
    const auto& recorded = plugin->machineAccountJoin;
    EXPECT_EQ("", Recorded(recorded.domainController));
    EXPECT_EQ("EXAMPLE", Recorded(recorded.netbiosName));
    EXPECT_EQ("example.test", Recorded(recorded.dnsName));
    EXPECT_EQ("S-1-5-21-1-2-3", Recorded(recorded.sid));
    EXPECT_EQ("esx01", Recorded(recorded.hostName));
    EXPECT_EQ("example.test", Recorded(recorded.dnsDomainName));
    EXPECT_EQ("", Recorded(recorded.spareText));
    EXPECT_EQ("first", Recorded(recorded.createdValue1));
    EXPECT_EQ("second", Recorded(recorded.createdValue2));
}

}  // namespace
