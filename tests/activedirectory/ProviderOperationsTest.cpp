// The provider's operations against the scriptable plug-in: what reaches
// the plug-in, how its results come back, that every result is handed back
// to the plug-in, and the join retries.
#include "common/SleepRecorder.h"
#include "common/SyslogRecorder.h"
#include "plugins/ScriptablePluginLoader.h"

#include <orvane/authentication/ActiveDirectoryProvider.h>
#include <orvane/authentication/Exceptions.h>

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <functional>
#include <syslog.h>
#include <typeinfo>

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
    void TearDown() override { EXPECT_EQ(0, plugin->outstandingResults); }

    ScriptablePlugin plugin{"scriptable"};
    ActiveDirectoryProvider provider{"scriptable"};
};

std::string Recorded(const ScriptableText& text) { return text.isNull ? "(null)" : text.text; }

// --- arguments ---------------------------------------------------------------

TEST_F(ProviderOperations, PassesArgumentsAsTheInterfaceSays)
{
    Credentials credentials = {"admin", "secret"};
    provider.JoinDomain("example.test", "", credentials);
    EXPECT_EQ("example.test", Recorded(plugin->joinDomain.domain));
    EXPECT_EQ("(null)", Recorded(plugin->joinDomain.organizationalUnit));
    EXPECT_EQ(&credentials, plugin->joinDomain.credentials.credentialsAddress);
    provider.JoinDomain("example.test", "OU=Hosts", credentials);
    EXPECT_EQ("OU=Hosts", Recorded(plugin->joinDomain.organizationalUnit));

    provider.PartDomain();
    EXPECT_TRUE(plugin->partDomain.credentialsNull);
    provider.PartDomain(credentials);
    EXPECT_EQ(&credentials, plugin->partDomain.credentialsAddress);

    const ScriptableTextArray& controllers = plugin->arrayArgument[SCRIPTABLE_SLOT_SET_PREFERRED_DOMAIN_CONTROLLERS];
    const ScriptableTextArray& services = plugin->arrayArgument[SCRIPTABLE_SLOT_SET_SMART_CARD_ENABLED_SERVICES];
    provider.SetPreferredDomainControllers({"dc2.example.test", "dc1.example.test"});
    provider.SetSmartCardEnabledServices({"login", "sshd", "console"});
    ASSERT_EQ(2, controllers.count);
    EXPECT_EQ("dc2.example.test", Recorded(controllers.items[0]));
    EXPECT_EQ("dc1.example.test", Recorded(controllers.items[1]));
    ASSERT_EQ(3, services.count);
    EXPECT_EQ("console", Recorded(services.items[2]));

    provider.SetPreferredDomainControllers({});
    provider.SetSmartCardEnabledServices({});
    EXPECT_FALSE(controllers.isNull || services.isNull);
    EXPECT_EQ(0, controllers.count + services.count);

    const int slot = SCRIPTABLE_SLOT_GET_ANY_DOMAIN_CONTROLLER;
    plugin->stringResult[slot] = "dc1.example.test";
    EXPECT_EQ("dc1.example.test", provider.GetAnyDomainController("", "example.test"));
    EXPECT_EQ("(null)", Recorded(plugin->stringArgument[slot]));
    EXPECT_EQ("example.test", Recorded(plugin->secondStringArgument[slot]));
    provider.GetAnyDomainController("pdc", "example.test");
    EXPECT_EQ("pdc", Recorded(plugin->stringArgument[slot]));
}

// --- results -----------------------------------------------------------------

TEST_F(ProviderOperations, CopiesAndReleasesSingleStrings)
{
#define RESULT(expression) [](const ActiveDirectoryProvider& p) { return expression; }
    const struct {
        int slot;
        std::function<std::string(const ActiveDirectoryProvider&)> call;
        const char* argument;  // the text argument the plug-in must see, if any
    } cases[] = {
        {SCRIPTABLE_SLOT_GET_MACHINE_ACCOUNT_DN, RESULT(p.GetMachineAccountDN()), nullptr},
        {SCRIPTABLE_SLOT_CONVERT_CANONICAL_USERNAME, RESULT(p.ConvertCanonicalUsername("EXAMPLE\\jo")), "EXAMPLE\\jo"},
        {SCRIPTABLE_SLOT_GET_HOST_PRINCIPAL_FOR_DOMAIN, RESULT(p.GetHostPrincipalForDomain("example.test")),
         "example.test"},
        {SCRIPTABLE_SLOT_GET_ANY_DOMAIN_CONTROLLER, RESULT(p.GetAnyDomainController("", "example.test")), nullptr},
    };
#undef RESULT
    for (const auto& c : cases) {
        SCOPED_TRACE(c.slot);
        plugin.Reset();
        plugin->stringResult[c.slot] = "CN=host,DC=example";
        EXPECT_EQ("CN=host,DC=example", c.call(provider));
        if (c.argument != nullptr) {
            EXPECT_EQ(c.argument, Recorded(plugin->stringArgument[c.slot]));
        }
        EXPECT_EQ(1u, plugin->releaseCalls);

        // A null string reads as empty and still goes back to the plug-in.
        plugin->stringResult[c.slot] = nullptr;
        EXPECT_EQ("", c.call(provider));
        EXPECT_EQ(2u, plugin->releaseCalls);
        EXPECT_EQ(1u, plugin->nullReleaseCalls);
        EXPECT_EQ(0, plugin->outstandingResults);
    }
}

TEST_F(ProviderOperations, ReleasesEachActiveDomainNameItGot)
{
    const struct {
        const char* dnsName;
        const char* netbiosName;
        unsigned releases;
    } cases[] = {
        {"example.test", "EXAMPLE", 2}, {"example.test", nullptr, 1}, {nullptr, "EXAMPLE", 1}, {nullptr, nullptr, 0}};
    for (const auto& c : cases) {
        plugin.Reset();
        plugin->activeDomain = {c.dnsName, c.netbiosName};
        const Domain domain = provider.GetActiveDomain();
        EXPECT_EQ(c.dnsName ? c.dnsName : "", domain.dnsName);
        EXPECT_EQ(c.netbiosName ? c.netbiosName : "", domain.netbiosName);
        EXPECT_EQ(c.releases, plugin->releaseCalls);
        EXPECT_EQ(0u, plugin->nullReleaseCalls);
        EXPECT_EQ(0, plugin->outstandingResults);
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
}

TEST_F(ProviderOperations, ConvertsTrustedDomainRecordsReadingNullNamesAsEmpty)
{
    plugin->trustedDomainCount = 3;
    plugin->trustedDomains[0] = {"example.test", "EXAMPLE"};
    plugin->trustedDomains[1] = {nullptr, "CHILD"};
    plugin->trustedDomains[2] = {"other.test", nullptr};
    std::string text;
    for (const Domain& domain : provider.GetTrustedDomains()) {
        text += domain.dnsName + "/" + domain.netbiosName + ";";
    }
    EXPECT_EQ("example.test/EXAMPLE;/CHILD;other.test/;", text);
    EXPECT_EQ(1u, plugin->releaseCalls);

    plugin->nullTrustedDomainArray = 1;
    EXPECT_TRUE(provider.GetTrustedDomains().empty());
    EXPECT_EQ(2u, plugin->releaseCalls);
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

// Slot n of the operations table sits at offset 8 * n.
static_assert(offsetof(ActiveDirectoryClientOperations, GetSmartCardEnabledServices) ==
                  8 * SCRIPTABLE_SLOT_GET_SMART_CARD_ENABLED_SERVICES,
              "operations table layout");
void RemoveSlot(ActiveDirectoryClientOperations& table, int slot)
{
    std::memset(reinterpret_cast<char*>(&table) + 8 * slot, 0, sizeof(void*));
}

const Credentials NO_CREDENTIALS = {nullptr, nullptr};

struct OperationCase {
    int slot;
    bool checksStatus;
    std::function<void(const ActiveDirectoryProvider&)> call;
};

#define CALL(expression) [](const ActiveDirectoryProvider& p) { expression; }
const OperationCase OPERATIONS[] = {
    {SCRIPTABLE_SLOT_JOIN_DOMAIN, true, CALL(p.JoinDomain("example.test", "", NO_CREDENTIALS))},
    {SCRIPTABLE_SLOT_JOIN_DOMAIN_WITH_MACHINE_ACCOUNT, true, CALL(p.JoinDomainWithMachineAccount({}, {}))},
    {SCRIPTABLE_SLOT_PART_DOMAIN, true, CALL(p.PartDomain())},
    {SCRIPTABLE_SLOT_PART_DOMAIN, true, CALL(p.PartDomain(NO_CREDENTIALS))},
    {SCRIPTABLE_SLOT_GET_ACTIVE_DOMAIN, true, CALL(p.GetActiveDomain())},
    {SCRIPTABLE_SLOT_SET_PREFERRED_DOMAIN_CONTROLLERS, true, CALL(p.SetPreferredDomainControllers({"dc1"}))},
    {SCRIPTABLE_SLOT_GET_PREFERRED_DOMAIN_CONTROLLERS, true, CALL(p.GetPreferredDomainControllers())},
    {SCRIPTABLE_SLOT_GET_TRUSTED_DOMAINS, true, CALL(p.GetTrustedDomains())},
    {SCRIPTABLE_SLOT_GET_MACHINE_ACCOUNT_DN, true, CALL(p.GetMachineAccountDN())},
    {SCRIPTABLE_SLOT_GET_ANY_DOMAIN_CONTROLLER, true, CALL(p.GetAnyDomainController("", "example.test"))},
    {SCRIPTABLE_SLOT_CONVERT_CANONICAL_USERNAME, true, CALL(p.ConvertCanonicalUsername("jo"))},
    {SCRIPTABLE_SLOT_GET_HOST_PRINCIPAL_FOR_DOMAIN, true, CALL(p.GetHostPrincipalForDomain("example.test"))},
    {SCRIPTABLE_SLOT_SET_SMART_CARD_ENABLED_SERVICES, true, CALL(p.SetSmartCardEnabledServices({"login"}))},
    {SCRIPTABLE_SLOT_GET_SMART_CARD_ENABLED_SERVICES, true, CALL(p.GetSmartCardEnabledServices())},
    {SCRIPTABLE_SLOT_GET_DOMAIN_TRUST_STATE, false, CALL(p.GetDomainTrustState())},
    {SCRIPTABLE_SLOT_GET_DOMAIN_TRUST_RELATIONSHIP, false, CALL(p.GetDomainTrustRelationship("example.test"))},
};
#undef CALL

TEST_F(ProviderOperations, MapsANonZeroStatusAndReportsAMissingSlot)
{
    for (const OperationCase& c : OPERATIONS) {
        SCOPED_TRACE(c.slot);
        if (c.checksStatus) {
            plugin.Reset();
            plugin->status[c.slot] = 5;
            // Results the plug-in must not hand out after a failure.
            plugin->stringResult[c.slot] = "unused";
            plugin->activeDomain = {"unused", "unused"};
            try {
                c.call(provider);
                ADD_FAILURE() << "returned";
            } catch (const AccessDeniedException& error) {
                EXPECT_EQ(5u, error.Code());
            }
            EXPECT_EQ(1u, plugin->calls[c.slot]);
            EXPECT_EQ(0u, plugin->releaseCalls);
        }
        plugin.Reset();
        RemoveSlot(plugin.Operations(), c.slot);
        try {
            c.call(provider);
            ADD_FAILURE() << "returned";
        } catch (const CallNotImplementedException& error) {
            EXPECT_EQ(120u, error.Code());
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
    plugin->stringResult[SCRIPTABLE_SLOT_GET_MACHINE_ACCOUNT_DN] = "CN=host";
    EXPECT_EQ("CN=host", provider.GetMachineAccountDN());
}

// --- join retries -------------------------------------------------------------

const std::int32_t TRANSIENT = static_cast<std::int32_t>(0xFFFF0000u);

struct RetryCase {
    std::vector<std::int32_t> statuses;  // the plug-in's answers, in order; the last repeats
    unsigned calls;
    unsigned sleeps;              // of 30 seconds each, the one after the eighth call included
    const std::type_info* error;  // null: the join succeeds
};

const RetryCase RETRY_CASES[] = {
    {{1326}, 8, 8, &typeid(LogonFailureException)},
    {{TRANSIENT}, 8, 8, &typeid(UnknownException)},
    {{1326, 1326, 0}, 3, 2, nullptr},
    {{1326, 1326, 1326, 1326, 1326, 1326, 1326, 0}, 8, 7, nullptr},
    {{TRANSIENT, 5}, 2, 1, &typeid(AccessDeniedException)},
    {{1355}, 1, 0, &typeid(NoSuchDomainException)},
    {{0}, 1, 0, nullptr},
};

TEST_F(ProviderOperations, RetriesJoinsOnTheTwoRetryableStatuses)
{
    const Credentials credentials = {"admin", "secret"};
    const struct {
        int slot;
        std::function<void()> join;
        bool logsAttempts;
    } joins[] = {
        {SCRIPTABLE_SLOT_JOIN_DOMAIN, [&] { provider.JoinDomain("example.test", "", credentials); }, false},
        {SCRIPTABLE_SLOT_JOIN_DOMAIN_WITH_MACHINE_ACCOUNT, [&] { provider.JoinDomainWithMachineAccount({}, {}); },
         true},
    };
    for (const auto& join : joins) {
        for (const RetryCase& c : RETRY_CASES) {
            SCOPED_TRACE(::testing::Message() << join.slot << ": case " << (&c - RETRY_CASES));
            plugin.Reset();
            orvauth_test::ClearSleepCalls();
            orvauth_test::ClearLoggedLines();
            for (std::size_t i = 0; i + 1 < c.statuses.size(); ++i) {
                plugin->statusSequence[join.slot][i] = c.statuses[i];
            }
            plugin->statusSequenceLength[join.slot] = static_cast<int>(c.statuses.size() - 1);
            plugin->status[join.slot] = c.statuses.back();
            try {
                join.join();
                EXPECT_EQ(nullptr, c.error);
            } catch (const Exception& error) {
                ASSERT_NE(nullptr, c.error);
                EXPECT_EQ(*c.error, typeid(error));
                EXPECT_EQ(static_cast<std::uint32_t>(c.statuses.back()), error.Code());
            }
            EXPECT_EQ(c.calls, plugin->calls[join.slot]);
            EXPECT_EQ(std::vector<unsigned>(c.sleeps, 30), orvauth_test::SleepCalls());
            std::vector<orvauth_test::LogLine> lines;
            for (unsigned attempt = 1; join.logsAttempts && attempt <= c.calls; ++attempt) {
                lines.push_back({LOG_INFO, "Adding host to domain: Attempt (" + std::to_string(attempt) + "/8)"});
            }
            EXPECT_EQ(lines, orvauth_test::LoggedLines());
        }
    }
}

TEST_F(ProviderOperations, PassesTheProxyRecordsInMemberOrder)
{
    provider.JoinDomainWithMachineAccount({"", "EXAMPLE", "example.test", "S-1-5-21-1-2-3"},
                                          {"node01", "example.test", "", "first", "second"});
    const auto& recorded = plugin->machineAccountJoin;
    const ScriptableText* texts[] = {&recorded.domainController, &recorded.netbiosName,  &recorded.dnsName,
                                     &recorded.sid,              &recorded.hostName,     &recorded.dnsDomainName,
                                     &recorded.spareText,        &recorded.createdValue1, &recorded.createdValue2};
    std::string joined;
    for (const ScriptableText* text : texts) {
        joined += Recorded(*text) + "|";
    }
    EXPECT_EQ("|EXAMPLE|example.test|S-1-5-21-1-2-3|node01|example.test||first|second|", joined);
}

}  // namespace
