// The store factory as a caller of the library sees it, and the local-only
// store's own operations.
#include "common/Files.h"
#include "stores/TestStores.h"

#include <orvane/authentication/ActiveDirectoryStore.h>

#include <gtest/gtest.h>

#include <dlfcn.h>

using namespace orvane::authentication;

namespace {

AuthenticationStoreFactory& Factory() { return *Singleton<AuthenticationStoreFactory>::_instance; }

TEST(StoreFactory, IsPublishedOnceForTheProcess)
{
    ASSERT_NE(nullptr, Singleton<AuthenticationStoreFactory>::_instance);
    void* exported =
        dlsym(RTLD_DEFAULT, "_ZN6orvane14authentication9SingletonINS0_26AuthenticationStoreFactoryEE9_instanceE");
    EXPECT_EQ(static_cast<void*>(&Singleton<AuthenticationStoreFactory>::_instance), exported);
    EXPECT_EQ((std::vector<std::string>{"Active Directory", "None"}), Factory().GetRegisteredStores());
}

TEST(StoreFactory, CreatesStoresByTheirExactName)
{
    orvauth_test::ResetConfigDir();
    std::unique_ptr<AuthenticationStore> none = Factory().CreateInstance("None");
    ASSERT_NE(nullptr, dynamic_cast<NoRemoteAuthenticationStore*>(none.get()));
    EXPECT_EQ("None", none->GetDisplayName());
    EXPECT_THROW(Factory().CreateInstance("Active Directory"), InvalidActiveDirectoryProviderException);

    orvauth_test::WriteFile(orvauth_test::ConfigFile("provider.conf"), "provider = \"scriptable\"\n");
    std::unique_ptr<AuthenticationStore> directory = Factory().CreateInstance("Active Directory");
    ASSERT_NE(nullptr, dynamic_cast<ActiveDirectoryStore*>(directory.get()));
    EXPECT_EQ("Active Directory", directory->GetDisplayName());

    for (const char* name : {"none", "NONE", "None ", " None", "Active directory", "ActiveDirectory", ""}) {
        EXPECT_EQ(nullptr, Factory().CreateInstance(name)) << "'" << name << "'";
    }
}

TEST(StoreFactory, KeepsTheFirstRegistrationOfAName)
{
    orvauth_test::ScopedFactory scoped;
    scoped.factory->RegisterType("None", Constructor<orvauth_test::PlainStore>);
    scoped.factory->RegisterType("Plain", Constructor<orvauth_test::RemoteStore<false>>);
    scoped.factory->RegisterType("alpha", Constructor<orvauth_test::PlainStore>);

    EXPECT_NE(nullptr, dynamic_cast<NoRemoteAuthenticationStore*>(scoped.factory->CreateInstance("None").get()));
    EXPECT_NE(nullptr, dynamic_cast<orvauth_test::PlainStore*>(scoped.factory->CreateInstance("Plain").get()));
    EXPECT_EQ((std::vector<std::string>{"Active Directory", "None", "Plain", "Quiet", "Stubborn", "alpha"}),
              scoped.factory->GetRegisteredStores());
}

TEST(StoreFactory, ClearsTheInstanceWhenDestroyed)
{
    AuthenticationStoreFactory* const loaded = Singleton<AuthenticationStoreFactory>::_instance;
    {
        AuthenticationStoreFactory other;
        EXPECT_EQ(&other, Singleton<AuthenticationStoreFactory>::_instance);
    }
    EXPECT_EQ(nullptr, Singleton<AuthenticationStoreFactory>::_instance);
    Singleton<AuthenticationStoreFactory>::_instance = loaded;
}

TEST(LocalOnlyStore, HandsOutNewSnapshotsAndCannotBeMadeInactive)
{
    orvauth_test::ResetConfigDir();
    const std::string record = orvauth_test::ConfigFile("authentication.conf");
    orvauth_test::WriteFile(record, "remote-authentication-store = None\n");
    NoRemoteAuthenticationStore store;
    std::unique_ptr<StoreConfiguration> first(store.GetStoreConfiguration());
    std::unique_ptr<StoreConfiguration> second(store.GetStoreConfiguration());
    EXPECT_NE(first.get(), second.get());
    EXPECT_NE(nullptr, dynamic_cast<NoRemoteAuthenticationStoreConfiguration*>(first.get()));

    try {
        store.MakeInactive();
        FAIL() << "MakeInactive returned";
    } catch (const Exception&) {
        FAIL() << "a library exception instead of std::runtime_error";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ("Attempted to disable None Store", error.what());
    }
    EXPECT_EQ("remote-authentication-store = None\n", orvauth_test::ReadFile(record));
}

}  // namespace
