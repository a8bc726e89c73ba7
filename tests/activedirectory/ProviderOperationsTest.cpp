// The provider's operations against the scriptable plug-in: what reaches
// the plug-in, how its results come back and go back to it, failures, the
// slots an older table lacks, the join retries; and what the store makes of
// the operations it forwards.
#include "common/Files.h"
#include "common/MessageOf.h"
#include "common/Recorders.h"
#include "fixtures/ScriptablePluginLoader.h"

#include <orvane/authentication/ActiveDirectoryProvider.h>
#include <orvane/authentication/ActiveDirectoryStore.h>
#include <orvane/authentication/Exceptions.h>
#include <orvane/authentication/JoinRetries.h>

#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <syslog.h>
#include <typeinfo>

using namespace orvane::authentication;
using orvauth_test::ScriptablePlugin;

namespace {

std::string Text(const std::string& text) { return text; }
std::string Text(std::uint32_t value) { return std::to_string(value); }
std::string Text(const Domain& domain) { return domain.dnsName + "/" + domain.netbiosName; }
template <typename Items>
std::string Text(const Items& items)
{
    std::string text;
    for (const auto& item : items) {
        text += (text.empty() ? "" : " ") + Text(item);
    }
    return text;
}

const Credentials NO_CREDENTIALS = {nullptr, nullptr};

// Every operation once, with its slot, whether it checks a status, and its
// result as text.
#define RESULT(expression) [](const ActiveDirectoryProvider& p) { return Text(expression); }
#define NONE(expression) [](const ActiveDirectoryProvider& p) { return expression, std::string(); }
const struct Operation {
    int slot;
    bool checksStatus;
    std::function<std::string(const ActiveDirectoryProvider&)> call;
} OPERATIONS[] = {
    {SCRIPTABLE_SLOT_JOIN_DOMAIN, true, NONE(p.JoinDomain("example.test", "", NO_CREDENTIALS))},
    {SCRIPTABLE_SLOT_PART_DOMAIN, true, NONE(p.PartDomain())},
    {SCRIPTABLE_SLOT_PART_DOMAIN, true, NONE(p.PartDomain(NO_CREDENTIALS))},
    {SCRIPTABLE_SLOT_GET_ACTIVE_DOMAIN, true, RESULT(p.GetActiveDomain())},
    {SCRIPTABLE_SLOT_SET_PREFERRED_DOMAIN_CONTROLLERS, true, NONE(p.SetPreferredDomainControllers({"dc1"}))},
    {SCRIPTABLE_SLOT_GET_PREFERRED_DOMAIN_CONTROLLERS, true, RESULT(p.GetPreferredDomainControllers())},
    {SCRIPTABLE_SLOT_GET_DOMAIN_TRUST_STATE, false, RESULT(p.GetDomainTrustState())},
    {SCRIPTABLE_SLOT_GET_TRUSTED_DOMAINS, true, RESULT(p.GetTrustedDomains())},
    {SCRIPTABLE_SLOT_GET_MACHINE_ACCOUNT_DN, true, RESULT(p.GetMachineAccountDN())},
    {SCRIPTABLE_SLOT_GET_ANY_DOMAIN_CONTROLLER, true, RESULT(p.GetAnyDomainController("", "example.test"))},
    {SCRIPTABLE_SLOT_CONVERT_CANONICAL_USERNAME, true, RESULT(p.ConvertCanonicalUsername("jo"))},
    {SCRIPTABLE_SLOT_JOIN_DOMAIN_WITH_MACHINE_ACCOUNT, true, NONE(p.JoinDomainWithMachineAccount({}, {}))},
    {SCRIPTABLE_SLOT_GET_HOST_PRINCIPAL_FOR_DOMAIN, true, RESULT(p.GetHostPrincipalForDomain("example.test"))},
    {SCRIPTABLE_SLOT_GET_DOMAIN_TRUST_RELATIONSHIP, false, RESULT(p.GetDomainTrustRelationship("example.test"))},
    {SCRIPTABLE_SLOT_SET_SMART_CARD_ENABLED_SERVICES, true, NONE(p.SetSmartCardEnabledServices({"login"}))},
    {SCRIPTABLE_SLOT_GET_SMART_CARD_ENABLED_SERVICES, true, RESULT(p.GetSmartCardEnabledServices())},
    {SCRIPTABLE_SLOT_RENEW_MACHINE_PASSWORD, true, NONE(p.RenewMachinePassword())},
};
#undef RESULT
#undef NONE

const Operation& OperationOf(int slot)
{
    return *std::find_if(std::begin(OPERATIONS), std::end(OPERATIONS), [&](const Operation& o) { return o.slot == slot; });
}

class ProviderOperations : public ::testing::Test {
protected:
    ScriptablePlugin plugin{"scriptable"};
    ActiveDirectoryProvider provider{"scriptable"};
};

// The joins' and leaves' arguments are checked through the store's joins.
TEST_F(ProviderOperations, PassesArgumentsAsTheInterfaceSays)
{
    provider.SetPreferredDomainControllers({"dc2", "dc1"});
    provider.SetSmartCardEnabledServices({});
    provider.GetAnyDomainController("", "example.test");
    provider.GetAnyDomainController("pdc", "example.test");
    EXPECT_EQ("SetPreferredDomainControllers(dc2, dc1)\nSetSmartCardEnabledServices()\n"
              "GetAnyDomainController((null), example.test)\nrelease(null)\n"
              "GetAnyDomainController(pdc, example.test)\nrelease(null)\n",
              plugin.Log());
}

TEST_F(ProviderOperations, CopiesResultsAndHandsEachBackToThePlugInOnce)
{
    const struct {
        int slot;
        const char* answer;
        const char* result;
        const char* releases;
    } cases[] = {
        {SCRIPTABLE_SLOT_GET_MACHINE_ACCOUNT_DN, "CN=host", "CN=host", "release\n"},
        {SCRIPTABLE_SLOT_GET_MACHINE_ACCOUNT_DN, nullptr, "", "release(null)\n"},
        {SCRIPTABLE_SLOT_GET_ACTIVE_DOMAIN, "example.test/EXAMPLE", "example.test/EXAMPLE", "release\nrelease\n"},
        {SCRIPTABLE_SLOT_GET_ACTIVE_DOMAIN, "example.test/", "example.test/", "release\n"},
        {SCRIPTABLE_SLOT_GET_ACTIVE_DOMAIN, "/EXAMPLE", "/EXAMPLE", "release\n"},
        {SCRIPTABLE_SLOT_GET_PREFERRED_DOMAIN_CONTROLLERS, "dc1 dc2 dc3", "dc1 dc2 dc3", "release\n"},
        {SCRIPTABLE_SLOT_GET_PREFERRED_DOMAIN_CONTROLLERS, "", "", "release\n"},
        {SCRIPTABLE_SLOT_GET_SMART_CARD_ENABLED_SERVICES, nullptr, "", "release(null)\n"},
        // A name a record lacks reads as empty.
        {SCRIPTABLE_SLOT_GET_TRUSTED_DOMAINS, "example.test/EXAMPLE /CHILD", "example.test/EXAMPLE /CHILD", "release\n"},
        {SCRIPTABLE_SLOT_GET_TRUSTED_DOMAINS, nullptr, "", "release(null)\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer ? c.answer : "(null)");
        plugin.Reset();
        plugin->answer[c.slot] = c.answer;
        EXPECT_EQ(c.result, OperationOf(c.slot).call(provider));
        const std::string log = plugin.Log();
        EXPECT_EQ(c.releases, log.substr(log.find('\n') + 1));
    }
    // Values without a status come back whatever they are.
    plugin->status[SCRIPTABLE_SLOT_GET_DOMAIN_TRUST_STATE] = 1326;
    plugin->status[SCRIPTABLE_SLOT_GET_DOMAIN_TRUST_RELATIONSHIP] = -1;
    EXPECT_EQ("1326", OperationOf(SCRIPTABLE_SLOT_GET_DOMAIN_TRUST_STATE).call(provider));
    EXPECT_EQ("4294967295", OperationOf(SCRIPTABLE_SLOT_GET_DOMAIN_TRUST_RELATIONSHIP).call(provider));
}

// After a failure nothing is handed out, so nothing goes back.
TEST_F(ProviderOperations, MapsANonZeroStatusAndReportsAMissingSlot)
{
    for (const Operation& c : OPERATIONS) {
        SCOPED_TRACE(c.slot);
        plugin.Reset();
        if (c.checksStatus) {
            plugin->status[c.slot] = 5;
            plugin->answer[c.slot] = "unused";
            EXPECT_THROW(c.call(provider), AccessDeniedException);
            EXPECT_EQ(std::string::npos, plugin.Log().find("release"));
        }
        plugin.Remove(c.slot);
        EXPECT_THROW(c.call(provider), CallNotImplementedException);
    }
}

// A table offers the slots of its version only. The version-1 plug-in's
// table really ends after slot 11: a read past it shows under ASan, a call
// through what lies behind it in the log.
TEST(ProviderOlderTables, OfferOnlyTheSlotsOfTheirVersion)
{
    for (int version : {1, 2, 3}) {
        const char* name = version == 1 ? "scriptable_v1" : "scriptable";
        ScriptablePlugin plugin(name);
        plugin.Operations().apiVersion = version;
        ActiveDirectoryProvider provider(name);
        EXPECT_EQ(version, provider.GetAPIVersion());
        for (const Operation& c : OPERATIONS) {
            if (c.slot > (version == 1 ? 11 : version == 2 ? 13 : 16)) {
                EXPECT_THROW(c.call(provider), CallNotImplementedException) << c.slot;
            }
        }
        EXPECT_EQ("", plugin.Log());
    }
}

TEST_F(ProviderOperations, RetriesJoinsOnTheTwoRetryableStatuses)
{
    const std::int32_t TRANSIENT = static_cast<std::int32_t>(0xFFFF0000u);
    const struct {
        std::int32_t first;  // the answer to the first firstCalls calls, then
        unsigned firstCalls;
        std::int32_t then;
        unsigned calls;
        unsigned sleeps;  // of 30 seconds each, the one after the eighth call included
        const std::type_info* error;
    } cases[] = {
        {0, 0, 1326, 8, 8, &typeid(LogonFailureException)},
        {0, 0, TRANSIENT, 8, 8, &typeid(UnknownException)},
        {1326, 2, 0, 3, 2, nullptr},
        {1326, 7, 0, 8, 7, nullptr},
        {TRANSIENT, 1, 5, 2, 1, &typeid(AccessDeniedException)},
        {0, 0, 1355, 1, 0, &typeid(NoSuchDomainException)},
    };
    std::vector<JoinRetry> told;  // each wait, before it starts
    SetJoinRetryObserver([&](const JoinRetry& retry) { told.push_back(retry); });
    for (int slot : {SCRIPTABLE_SLOT_JOIN_DOMAIN, SCRIPTABLE_SLOT_JOIN_DOMAIN_WITH_MACHINE_ACCOUNT}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(::testing::Message() << slot << ": " << c.first << " x" << c.firstCalls << ", " << c.then);
            plugin.Reset();
            told.clear();
            orvauth_test::ClearSleepCalls();
            orvauth_test::ClearLoggedLines();
            plugin->firstStatus[slot] = c.first;
            plugin->firstCalls[slot] = c.firstCalls;
            plugin->status[slot] = c.then;
            try {
                OperationOf(slot).call(provider);
                EXPECT_EQ(nullptr, c.error);
            } catch (const Exception& error) {
                ASSERT_NE(nullptr, c.error);
                EXPECT_EQ(*c.error, typeid(error));
                EXPECT_EQ(static_cast<std::uint32_t>(c.then), error.Code());
            }
            EXPECT_EQ(c.calls, plugin->calls[slot]);
            EXPECT_EQ(std::vector<unsigned>(c.sleeps, 30), orvauth_test::SleepCalls());
            ASSERT_EQ(c.sleeps, told.size());
            for (unsigned i = 0; i < told.size(); ++i) {
                const std::int32_t status = i < c.firstCalls ? c.first : c.then;
                EXPECT_EQ(std::to_string(i + 1) + "/8 30 " + std::to_string(static_cast<std::uint32_t>(status)),
                          std::to_string(told[i].attempt) + "/" + std::to_string(told[i].attempts) + " " +
                              std::to_string(told[i].waitSeconds) + " " + std::to_string(told[i].status));
            }
            std::vector<orvauth_test::LogLine> lines;
            for (unsigned attempt = 1; slot != SCRIPTABLE_SLOT_JOIN_DOMAIN && attempt <= c.calls; ++attempt) {
                lines.push_back({LOG_INFO, "Adding host to domain: Attempt (" + std::to_string(attempt) + "/8)"});
            }
            EXPECT_EQ(lines, orvauth_test::LoggedLines());
        }
    }
    SetJoinRetryObserver(nullptr);
}

// The plug-in's reason for a failure replaces the status's generic text, in
// the exception and in what a retry's observer hears.
TEST_F(ProviderOperations, APlugInsReasonNamesTheCause)
{
    std::string heard;
    SetJoinRetryObserver([&](const JoinRetry& retry) { heard = retry.message; });
    plugin->firstStatus[SCRIPTABLE_SLOT_JOIN_DOMAIN] = 1326;
    plugin->firstCalls[SCRIPTABLE_SLOT_JOIN_DOMAIN] = 1;
    plugin->status[SCRIPTABLE_SLOT_JOIN_DOMAIN] = 87;
    plugin->failureReason = "The organizational unit does not exist: OU=Nope";
    const auto join = [&] { provider.JoinDomain("example.test", "Nope", NO_CREDENTIALS); };
    orvauth_test::ExpectRefused(join, typeid(InvalidParameterException),
                                "Exception 0x00000057: The organizational unit does not exist: OU=Nope");
    EXPECT_EQ("Exception 0x0000052e: The organizational unit does not exist: OU=Nope", heard);
    SetJoinRetryObserver(nullptr);
    plugin->failureReason = nullptr;
    plugin->firstCalls[SCRIPTABLE_SLOT_JOIN_DOMAIN] = 0;
    orvauth_test::ExpectRefused(join, typeid(InvalidParameterException), "Exception 0x00000057: The parameter is incorrect.");
}

// Each request the store forwards reaches the plug-in, whose failures pass
// through unchanged; without the operation the store falls back, or says so.
TEST_F(ProviderOperations, StorePassesFailuresThroughAndFallsBackWithoutTheOperation)
{
    orvauth_test::ResetConfigDir();
    orvauth_test::WriteFile(orvauth_test::ConfigFile("provider.conf"), "provider = \"scriptable\"\n");
    orvauth_test::ClearLoggedLines();
    ActiveDirectoryStore s(60);
    const struct {
        int slot;
        std::function<std::string()> call;
        const char* fallback;  // null: CallNotImplementedException reaches the caller
    } cases[] = {
        {SCRIPTABLE_SLOT_SET_PREFERRED_DOMAIN_CONTROLLERS, [&] { return s.SetPreferredDomainControllers({}), ""; }, ""},
        {SCRIPTABLE_SLOT_GET_ANY_DOMAIN_CONTROLLER, [&] { return s.GetDomainControllerForDomain("example.test"); }, ""},
        {SCRIPTABLE_SLOT_GET_HOST_PRINCIPAL_FOR_DOMAIN, [&] { return s.GetHostPrincipalForDomain("example.test"); }, ""},
        {SCRIPTABLE_SLOT_CONVERT_CANONICAL_USERNAME, [&] { return s.ConvertCanonicalUsername("jo"); }, "jo"},
        {SCRIPTABLE_SLOT_GET_DOMAIN_TRUST_RELATIONSHIP, [&] { return Text(s.GetDomainTrustRelationship("x")); }, "0"},
        {SCRIPTABLE_SLOT_SET_SMART_CARD_ENABLED_SERVICES, [&] { return s.SetSmartCardEnabledServices({}), ""; }, nullptr},
        {SCRIPTABLE_SLOT_GET_SMART_CARD_ENABLED_SERVICES, [&] { return Text(s.GetSmartCardEnabledServices()); }, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.slot);
        plugin.Reset();
        plugin->status[c.slot] = 1317;
        if (c.slot == SCRIPTABLE_SLOT_GET_DOMAIN_TRUST_RELATIONSHIP) {
            EXPECT_EQ("1317", c.call());
        } else {
            EXPECT_THROW(c.call(), NoSuchUserException);
        }
        plugin.Remove(c.slot);
        if (c.fallback != nullptr) {
            EXPECT_EQ(c.fallback, c.call());
        } else {
            EXPECT_THROW(c.call(), CallNotImplementedException);
        }
    }
    EXPECT_EQ((std::vector<orvauth_test::LogLine>{
                  {LOG_WARNING, "Setting of preferred domain controllers is not implemented."}}),
              orvauth_test::LoggedLines());
}

TEST(DomainText, NamesBothPartsAndMarksEmptyOnesUnset)
{
    std::ostringstream stream;
    stream << Domain() << '|' << Domain("", "EXAMPLE") << '|' << Domain("example.test", "");
    EXPECT_EQ("DNS Name: (unset), NetBIOS Name: (unset)|DNS Name: (unset), NetBIOS Name: EXAMPLE|"
              "DNS Name: example.test, NetBIOS Name: (unset)",
              stream.str());
}

}  // namespace
