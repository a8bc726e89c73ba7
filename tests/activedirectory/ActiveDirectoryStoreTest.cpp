// The Active Directory store: construction from provider.conf, activation,
// and the requests it forwards with their fallbacks.
#include "common/Files.h"
#include "common/SyslogRecorder.h"
#include "plugins/ScriptablePluginLoader.h"

#include <orvane/authentication/ActiveDirectoryProvider.h>
#include <orvane/authentication/ActiveDirectoryStore.h>
#include <orvane/authentication/Exceptions.h>

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <functional>
#include <syslog.h>

using namespace orvane::authentication;
using orvauth_test::ConfigFile;
using orvauth_test::ReadFile;
using orvauth_test::ScriptablePlugin;
using orvauth_test::WriteFile;

namespace {

void ConfigureProvider(const std::string& name)
{
    WriteFile(ConfigFile("provider.conf"), "provider = \"" + name + "\"\n");
}

// --- construction ---------------------------------------------------------------

struct ConstructionCase {
    const char* label;
    const char* providerConf;  // null: no file
    const char* message;
};

class StoreConstruction : public ::testing::TestWithParam<ConstructionCase> {
protected:
    void SetUp() override { orvauth_test::ResetConfigDir(); }
};

TEST_P(StoreConstruction, FailsWithTheProviderNamedInTheMessage)
{
    const ConstructionCase& c = GetParam();
    if (c.providerConf != nullptr) {
        WriteFile(ConfigFile("provider.conf"), c.providerConf);
    }
    try {
        ActiveDirectoryStore store(60);
        FAIL() << "a store was created";
    } catch (const InvalidActiveDirectoryProviderException& error) {
        EXPECT_EQ(0u, error.Code());
        EXPECT_STREQ(c.message, error.what());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Providers, StoreConstruction,
    ::testing::Values(
        ConstructionCase{"NoFile", nullptr, "The specified Active Directory provider '(none installed)' is invalid"},
        ConstructionCase{"EmptyName", "provider = \"\"\n",
                         "The specified Active Directory provider '(unset)' is invalid"},
        ConstructionCase{"AbsentPlugIn", "provider = \"absent\"\n",
                         "The specified Active Directory provider 'absent' is invalid"},
        ConstructionCase{"UnsupportedVersion", "provider = scriptable_metadata_v4\n",
                         "The specified Active Directory provider 'scriptable_metadata_v4' is invalid: The API "
                         "version (4) is not supported by this version of liborvauth"},
        ConstructionCase{"SlashInName", "provider = \"../scriptable\"\n",
                         "The specified Active Directory provider '../scriptable' is invalid: The provider name "
                         "must not contain '/'"}),
    [](const ::testing::TestParamInfo<ConstructionCase>& info) { return std::string(info.param.label); });

TEST(StoreConstructionErrors, PassesConfigurationReaderErrorsThrough)
{
    orvauth_test::ResetConfigDir();
    WriteFile(ConfigFile("provider.conf"), "name = \"scriptable\"\n");
    try {
        ActiveDirectoryStore store(60);
        FAIL() << "a store was created";
    } catch (const InvalidKeyException& error) {
        EXPECT_STREQ("The specified key 'provider' was not found in this configuration", error.what());
    }

    WriteFile(ConfigFile("provider.conf"), "provider scriptable\n");
    EXPECT_THROW(ActiveDirectoryStore(60), ConfigurationError);
}

// --- lifecycle and activation ------------------------------------------------------

class ActiveDirectoryStoreTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        orvauth_test::ResetConfigDir();
        orvauth_test::ClearLoggedLines();
        ConfigureProvider("scriptable");
    }
};

TEST_F(ActiveDirectoryStoreTest, LoadsTheConfiguredPlugIn)
{
    ActiveDirectoryStore store;
    ASSERT_TRUE(store.Provider());
    EXPECT_EQ("pam_scriptable", store.Provider()->PAMModule());
    EXPECT_EQ("Active Directory", store.GetDisplayName());
}

TEST_F(ActiveDirectoryStoreTest, KeepsThePlugInLoadedWhileAnyoneHoldsTheProvider)
{
    const std::string path = std::string(ORVAUTH_PLUGIN_DIR) + "/libscriptable.so";
    auto isLoaded = [&path] {
        void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
        if (handle != nullptr) {
            dlclose(handle);
        }
        return handle != nullptr;
    };
    boost::shared_ptr<ActiveDirectoryProvider> held;
    {
        ActiveDirectoryStore store(5);
        held = store.Provider();
    }
    EXPECT_TRUE(isLoaded());
    held.reset();
    EXPECT_FALSE(isLoaded());
}

TEST_F(ActiveDirectoryStoreTest, MakeActiveRecordsTheStoreAndKeepsOtherKeys)
{
    WriteFile(ConfigFile("authentication.conf"), "remote-authentication-store = \"None\"\nextra = \"kept\"\n");
    ActiveDirectoryStore store;
    EXPECT_FALSE(store.IsActive());
    store.MakeActive();
    EXPECT_TRUE(store.IsActive());
    EXPECT_EQ("extra = \"kept\"\nremote-authentication-store = \"Active Directory\"\n",
              ReadFile(ConfigFile("authentication.conf")));
}

TEST_F(ActiveDirectoryStoreTest, MakeActiveNeedsTheKeyAlreadyRecorded)
{
    WriteFile(ConfigFile("authentication.conf"), "other = \"None\"\n");
    ActiveDirectoryStore store;
    EXPECT_THROW(store.MakeActive(), InvalidKeyException);
    EXPECT_EQ("other = \"None\"\n", ReadFile(ConfigFile("authentication.conf")));
}

TEST_F(ActiveDirectoryStoreTest, MakeInactiveLeavesTheRecordAlone)
{
    const std::string record = "remote-authentication-store   =   Active Directory\n";
    WriteFile(ConfigFile("authentication.conf"), record);
    ActiveDirectoryStore store;
    store.MakeInactive();
    EXPECT_EQ(record, ReadFile(ConfigFile("authentication.conf")));
    EXPECT_TRUE(store.IsActive());
}

// --- forwarding ---------------------------------------------------------------------

class ForwardingTest : public ActiveDirectoryStoreTest {
protected:
    void SetUp() override
    {
        ActiveDirectoryStoreTest::SetUp();
        store.reset(new ActiveDirectoryStore(60));
    }
    void TearDown() override { store.reset(); }

    ScriptablePlugin plugin{"scriptable"};
    std::unique_ptr<ActiveDirectoryStore> store;
};

TEST_F(ForwardingTest, ForwardsEachRequestToThePlugIn)
{
    plugin->stringResult[SCRIPTABLE_SLOT_GET_ANY_DOMAIN_CONTROLLER] = "dc1.example.test";
    plugin->stringResult[SCRIPTABLE_SLOT_GET_HOST_PRINCIPAL_FOR_DOMAIN] = "host/esx01.example.test";
    plugin->stringResult[SCRIPTABLE_SLOT_CONVERT_CANONICAL_USERNAME] = "EXAMPLE\\jo";
    plugin->trustRelationship = 7;
    plugin->stringArray[SCRIPTABLE_SLOT_GET_SMART_CARD_ENABLED_SERVICES] = {0, {"login"}};

    EXPECT_EQ("dc1.example.test", store->GetDomainControllerForDomain("example.test"));
    EXPECT_TRUE(plugin->stringArgument[SCRIPTABLE_SLOT_GET_ANY_DOMAIN_CONTROLLER].isNull);
    EXPECT_EQ("host/esx01.example.test", store->GetHostPrincipalForDomain("example.test"));
    EXPECT_EQ(7u, store->GetDomainTrustRelationship("example.test"));
    EXPECT_EQ("EXAMPLE\\jo", store->ConvertCanonicalUsername("jo@example.test"));
    EXPECT_EQ(std::vector<std::string>{"login"}, store->GetSmartCardEnabledServices());

    store->SetPreferredDomainControllers({"dc1", "dc2"});
    store->SetSmartCardEnabledServices({"sshd"});
    EXPECT_EQ(2, plugin->arrayArgument[SCRIPTABLE_SLOT_SET_PREFERRED_DOMAIN_CONTROLLERS].count);
    EXPECT_EQ(1, plugin->arrayArgument[SCRIPTABLE_SLOT_SET_SMART_CARD_ENABLED_SERVICES].count);
    EXPECT_TRUE(orvauth_test::LoggedLines().empty());
}

TEST_F(ForwardingTest, FallsBackWhenThePlugInLacksAnOperation)
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

TEST_F(ForwardingTest, PassesPlugInFailuresThrough)
{
    const int slots[] = {SCRIPTABLE_SLOT_SET_PREFERRED_DOMAIN_CONTROLLERS, SCRIPTABLE_SLOT_GET_ANY_DOMAIN_CONTROLLER,
                         SCRIPTABLE_SLOT_GET_HOST_PRINCIPAL_FOR_DOMAIN, SCRIPTABLE_SLOT_CONVERT_CANONICAL_USERNAME,
                         SCRIPTABLE_SLOT_SET_SMART_CARD_ENABLED_SERVICES,
                         SCRIPTABLE_SLOT_GET_SMART_CARD_ENABLED_SERVICES};
    for (int slot : slots) {
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
    orvauth_test::ResetConfigDir();
    ConfigureProvider("scriptable_operations_v1");
    ActiveDirectoryStore store(60);
    EXPECT_EQ("", store.GetHostPrincipalForDomain("example.test"));
}

}  // namespace
