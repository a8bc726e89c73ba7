// The store factory as a caller of the library sees it, and the local-only
// store's own operations.
#include "common/Files.h"
#include "stores/TestStores.h"

#include <orvane/authentication/ActiveDirectoryStore.h>

#include <gtest/gtest.h>

#include <dlfcn.h>

using namespace orvane::authentication;

namespace {

TEST(StoreFactory, IsPublishedOnceAndCreatesStoresByTheirExactName)
{
    AuthenticationStoreFactory& factory = *Singleton<AuthenticationStoreFactory>::_instance;
    EXPECT_EQ(&Singleton<AuthenticationStoreFactory>::_instance,
              dlsym(RTLD_DEFAULT, "_ZN6orvane14authentication9SingletonINS0_26AuthenticationStoreFactoryEE9_instanceE"));
    EXPECT_EQ((std::vector<std::string>{"Active Directory", "None"}), factory.GetRegisteredStores());

    orvauth_test::ResetConfigDir();
    EXPECT_NE(nullptr, dynamic_cast<NoRemoteAuthenticationStore*>(factory.CreateInstance("None").get()));
    EXPECT_THROW(factory.CreateInstance("Active Directory"), InvalidActiveDirectoryProviderException);
    orvauth_test::WriteFile(orvauth_test::ConfigFile("provider.conf"), "provider = \"scriptable\"\n");
    EXPECT_NE(nullptr, dynamic_cast<ActiveDirectoryStore*>(factory.CreateInstance("Active Directory").get()));
    for (const char* name : {"none", "None ", "ActiveDirectory", ""}) {
        EXPECT_EQ(nullptr, factory.CreateInstance(name)) << "'" << name << "'";
    }
}

TEST(StoreFactory, KeepsTheFirstRegistrationOfANameAndClearsTheInstanceWhenDestroyed)
{
    {
        orvauth_test::ScopedFactory scoped;
        scoped.factory->RegisterType("None", Constructor<orvauth_test::PlainStore>);
        scoped.factory->RegisterType("alpha", Constructor<orvauth_test::PlainStore>);
        EXPECT_NE(nullptr, dynamic_cast<NoRemoteAuthenticationStore*>(scoped.factory->CreateInstance("None").get()));
        EXPECT_EQ((std::vector<std::string>{"Active Directory", "None", "Plain", "Quiet", "Stubborn", "alpha"}),
                  scoped.factory->GetRegisteredStores());
        EXPECT_EQ(scoped.factory.get(), Singleton<AuthenticationStoreFactory>::_instance);
        scoped.factory.reset();
        EXPECT_EQ(nullptr, Singleton<AuthenticationStoreFactory>::_instance);
    }
    EXPECT_NE(nullptr, Singleton<AuthenticationStoreFactory>::_instance);
}

TEST(LocalOnlyStore, HandsOutNewSnapshotsAndCannotBeMadeInactive)
{
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
}

}  // namespace
