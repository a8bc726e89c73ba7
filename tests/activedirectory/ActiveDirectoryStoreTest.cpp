// The Active Directory store: construction from provider.conf, the requests
// it forwards with their fallbacks, and the text form of a domain.
// Activation is tested with the other stores (tests/stores).
#include "common/Files.h"
#include "common/SyslogRecorder.h"
#include "plugins/ScriptablePluginLoader.h"

#include <orvane/authentication/ActiveDirectoryStore.h>
#include <orvane/authentication/Exceptions.h>

#include <gtest/gtest.h>

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
        std::string message;  // empty: not checked here
    } cases[] = {
        {nullptr, typeid(InvalidActiveDirectoryProviderException), invalid + "'(none installed)' is invalid"},
        {"provider = \"\"\n", typeid(InvalidActiveDirectoryProviderException), invalid + "'(unset)' is invalid"},
        // The loader's text stays out of the message.
        {"provider = \"absent\"\n", typeid(InvalidActiveDirectoryProviderException), invalid + "'absent' is invalid"},
        {"provider = scriptable_metadata_v4\n", typeid(InvalidActiveDirectoryProviderException),
         invalid + "'scriptable_metadata_v4' is invalid: The API version (4) is not supported by this version of "
                   "liborvauth"},
        {"name = \"scriptable\"\n", typeid(InvalidKeyException),
         "The specified key 'provider' was not found in this configuration"},
        {"provider scriptable\n", typeid(ConfigurationError), ""},
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
            EXPECT_TRUE(c.message.empty() || c.message == error.what()) << error.what();
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

TEST_F(Forwarding, ForwardsEachRequestToThePlugIn)
{
    plugin->stringResult[SCRIPTABLE_SLOT_GET_ANY_DOMAIN_CONTROLLER] = "dc1.example.test";
    plugin->stringResult[SCRIPTABLE_SLOT_GET_HOST_PRINCIPAL_FOR_DOMAIN] = "host/node01.example.test";
    plugin->stringResult[SCRIPTABLE_SLOT_CONVERT_CANONICAL_USERNAME] = "EXAMPLE\\jo";
    plugin->trustRelationship = 7;
    plugin->stringArray[SCRIPTABLE_SLOT_GET_SMART_CARD_ENABLED_SERVICES] = {0, {"login"}};

    EXPECT_EQ("dc1.example.test", store->GetDomainControllerForDomain("example.test"));
    EXPECT_TRUE(plugin->stringArgument[SCRIPTABLE_SLOT_GET_ANY_DOMAIN_CONTROLLER].isNull);
    EXPECT_EQ("host/node01.example.test", store->GetHostPrincipalForDomain("example.test"));
    EXPECT_EQ(7u, store->GetDomainTrustRelationship("example.test"));
    EXPECT_EQ("EXAMPLE\\jo", store->ConvertCanonicalUsername("jo@example.test"));
    EXPECT_EQ(std::vector<std::string>{"login"}, store->GetSmartCardEnabledServices());

    store->SetPreferredDomainControllers({"dc1", "dc2"});
    store->SetSmartCardEnabledServices({"sshd"});
    EXPECT_EQ(2, plugin->arrayArgument[SCRIPTABLE_SLOT_SET_PREFERRED_DOMAIN_CONTROLLERS].count);
    EXPECT_EQ(1, plugin->arrayArgument[SCRIPTABLE_SLOT_SET_SMART_CARD_ENABLED_SERVICES].count);
    EXPECT_TRUE(orvauth_test::LoggedLines().empty());
}

TEST_F(Forwarding, FallsBackWhenThePlugInLacksAnOperation)
{
    ActiveDirectoryClientOperations& table = plugin.Operations();
    table.SetPreferredDomainControllers = nullptr;
    table.GetAnyDomainController = nullptr;
    table.GetHostPrincipalForDomain = nullptr;
    table.GetDomainTrustRelationship = nullptr;
    table.ConvertCanonicalUsername = nullptr;
    table.SetSmartCardEnabledServices = nullptr;
    table.GetSmartCardEnabledServices = nullptr;

    EXPECT_NO_THROW(store->SetPreferredDomainControllers({"dc1"}));
    EXPECT_EQ((std::vector<orvauth_test::LogLine>{
                  {LOG_WARNING, "Setting of preferred domain controllers is not implemented."}}),
              orvauth_test::LoggedLines());
    EXPECT_EQ("", store->GetDomainControllerForDomain("example.test"));
    EXPECT_EQ("", store->GetHostPrincipalForDomain("example.test"));
    EXPECT_EQ(0u, store->GetDomainTrustRelationship("example.test"));
    EXPECT_EQ("jo@example.test", store->ConvertCanonicalUsername("jo@example.test"));
    EXPECT_THROW(store->SetSmartCardEnabledServices({"sshd"}), CallNotImplementedException);
    EXPECT_THROW(store->GetSmartCardEnabledServices(), CallNotImplementedException);
}

TEST_F(Forwarding, PassesPlugInFailuresThrough)
{
    for (int slot : {SCRIPTABLE_SLOT_SET_PREFERRED_DOMAIN_CONTROLLERS, SCRIPTABLE_SLOT_GET_ANY_DOMAIN_CONTROLLER,
                     SCRIPTABLE_SLOT_GET_HOST_PRINCIPAL_FOR_DOMAIN, SCRIPTABLE_SLOT_CONVERT_CANONICAL_USERNAME,
                     SCRIPTABLE_SLOT_SET_SMART_CARD_ENABLED_SERVICES,
                     SCRIPTABLE_SLOT_GET_SMART_CARD_ENABLED_SERVICES}) {
        plugin->status[slot] = 1317;
    }
    EXPECT_THROW(store->SetPreferredDomainControllers({"dc1"}), NoSuchUserException);
    EXPECT_THROW(store->GetDomainControllerForDomain("example.test"), NoSuchUserException);
    EXPECT_THROW(store->GetHostPrincipalForDomain("example.test"), NoSuchUserException);
    EXPECT_THROW(store->ConvertCanonicalUsername("jo"), NoSuchUserException);
    EXPECT_THROW(store->SetSmartCardEnabledServices({"sshd"}), NoSuchUserException);
    EXPECT_THROW(store->GetSmartCardEnabledServices(), NoSuchUserException);
    EXPECT_TRUE(orvauth_test::LoggedLines().empty());
}

TEST(VersionOneForwarding, HasNoHostPrincipals)
{
    ConfigureProvider("scriptable_operations_v1");
    orvauth_test::ScriptablePlugin plugin("scriptable_operations_v1");
    plugin->stringResult[SCRIPTABLE_SLOT_GET_HOST_PRINCIPAL_FOR_DOMAIN] = "host/node01.example.test";
    EXPECT_EQ("", ActiveDirectoryStore(60).GetHostPrincipalForDomain("example.test"));
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
    EXPECT_EQ("DNS Name: example.test, NetBIOS Name: EXAMPLE|", printed(Domain("example.test", "EXAMPLE")));
}

}  // namespace
