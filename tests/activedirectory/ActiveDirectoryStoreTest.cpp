// The Active Directory store: construction from provider.conf, the requests
// it forwards with their fallbacks, and the text form of a domain.
// Activation is tested with the other stores (tests/stores).
#include "common/Files.h"
#include "common/SyslogRecorder.h"
#include "plugins/ScriptablePluginLoader.h"

#include <orvane/authentication/ActiveDirectoryStore.h>
#include <orvane/authentication/Exceptions.h>

#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <syslog.h>
#include <typeinfo>

using namespace orvane::authentication;
using orvauth_test::ConfigFile;
using orvauth_test::WriteFile;

namespace {

void ConfigureProvider(const std::string& name)
{
    orvauth_test::ResetConfigDir();
    WriteFile(ConfigFile("provider.conf"), "provider = \"" + name + "\"\n");
}

TEST(StoreConstruction, FailsWithoutAUsablePlugIn)
{
    const std::string invalid = "The specified Active Directory provider ";
    const struct {
        const char* providerConf;  // null: no file
        const std::type_info& type;
        std::string message;
    } cases[] = {
        {nullptr, typeid(InvalidActiveDirectoryProviderException), invalid + "'(none installed)' is invalid"},
        {"provider = \"\"\n", typeid(InvalidActiveDirectoryProviderException), invalid + "'(unset)' is invalid"},
        // The loader's text stays out of the message.
        {"provider = \"absent\"\n", typeid(InvalidActiveDirectoryProviderException), invalid + "'absent' is invalid"},
        {"provider = scriptable_no_metadata\n", typeid(InvalidActiveDirectoryProviderException),
         invalid + "'scriptable_no_metadata' is invalid: " + orvauth_test::PluginPath("scriptable_no_metadata") +
             ": undefined symbol: ActiveDirectoryClientMetadata"},
        {"name = \"scriptable\"\n", typeid(InvalidKeyException),
         "The specified key 'provider' was not found in this configuration"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.providerConf ? c.providerConf : "no provider.conf");
        orvauth_test::ResetConfigDir();
        if (c.providerConf != nullptr) {
            WriteFile(ConfigFile("provider.conf"), c.providerConf);
        }
        try {
            ActiveDirectoryStore store(60);
            ADD_FAILURE() << "a store was created";
        } catch (const Exception& error) {
            EXPECT_EQ(c.type, typeid(error));
            EXPECT_EQ(c.message, error.what());
        }
    }
}

class Forwarding : public ::testing::Test {
protected:
    void SetUp() override
    {
        ConfigureProvider("scriptable");
        orvauth_test::ClearLoggedLines();
        store.reset(new ActiveDirectoryStore(60));
    }

    orvauth_test::ScriptablePlugin plugin{"scriptable"};
    std::unique_ptr<ActiveDirectoryStore> store;
};

// Each request reaches the plug-in, whose failures pass through unchanged;
// without the operation the store falls back, or reports it.
TEST_F(Forwarding, PassesFailuresThroughAndFallsBackWithoutTheOperation)
{
    ActiveDirectoryStore& s = *store;
    const struct {
        int slot;
        std::function<std::string()> call;
        const char* fallback;  // null: CallNotImplementedException reaches the caller
    } cases[] = {
        {SCRIPTABLE_SLOT_SET_PREFERRED_DOMAIN_CONTROLLERS, [&] { return s.SetPreferredDomainControllers({}), ""; }, ""},
        {SCRIPTABLE_SLOT_GET_ANY_DOMAIN_CONTROLLER, [&] { return s.GetDomainControllerForDomain("example.test"); }, ""},
        {SCRIPTABLE_SLOT_GET_HOST_PRINCIPAL_FOR_DOMAIN, [&] { return s.GetHostPrincipalForDomain("example.test"); }, ""},
        {SCRIPTABLE_SLOT_CONVERT_CANONICAL_USERNAME, [&] { return s.ConvertCanonicalUsername("jo"); }, "jo"},
        {SCRIPTABLE_SLOT_GET_DOMAIN_TRUST_RELATIONSHIP,
         [&] { return std::to_string(s.GetDomainTrustRelationship("example.test")); }, "0"},
        {SCRIPTABLE_SLOT_SET_SMART_CARD_ENABLED_SERVICES, [&] { return s.SetSmartCardEnabledServices({}), ""; }, nullptr},
        {SCRIPTABLE_SLOT_GET_SMART_CARD_ENABLED_SERVICES, [&] { return s.GetSmartCardEnabledServices().at(0); }, nullptr},
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
    const auto printed = [](const Domain& domain) {
        std::ostringstream stream;
        stream << domain << '|';
        return stream.str();
    };
    EXPECT_EQ("DNS Name: (unset), NetBIOS Name: (unset)|", printed(Domain()));
    EXPECT_EQ("DNS Name: (unset), NetBIOS Name: EXAMPLE|", printed(Domain("", "EXAMPLE")));
    EXPECT_EQ("DNS Name: example.test, NetBIOS Name: (unset)|", printed(Domain("example.test", "")));
}

}  // namespace
