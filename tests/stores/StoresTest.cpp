// The stores as a caller of the library sees them: the factory, the
// local-only store, and which store is active: the record in
// authentication.conf, and switching to the local-only store, which rewrites
// the record first and then asks the previous store to step down.
#include "common/Files.h"

#include <orvane/authentication/ActiveDirectoryStore.h>
#include <orvane/authentication/Exceptions.h>
#include <orvane/authentication/Stores.h>

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <functional>
#include <memory>
#include <sys/stat.h>
#include <typeinfo>

using namespace orvane::authentication;
using orvauth_test::ConfigFile;
using orvauth_test::ReadFile;

namespace {

// Stores a test registers next to the built-in ones, in a factory that
// stands in for the library's own while a test runs.
struct StoreEvents {
    int created = 0, destroyed = 0, madeInactive = 0;
};
StoreEvents events;

template <typename Base>
struct CountedStore : Base {
    CountedStore() { ++events.created; }
    ~CountedStore() override { ++events.destroyed; }
    StoreConfiguration* GetStoreConfiguration() const override { return new StoreConfiguration(); }
    std::string GetDisplayName() const override { return "test store"; }
    void MakeActive() override {}
};

struct PlainStore : CountedStore<AuthenticationStore> {  // not a remote store at all
    bool IsActive() const override { return false; }
};

template <bool refuses>
struct RemoteStore : CountedStore<RemoteAuthenticationStore> {  // steps down quietly, or refuses to
    void MakeInactive() override
    {
        ++events.madeInactive;
        if (refuses) {
            throw IOError("cannot step down");
        }
    }
};

// The built-in stores plus "Plain", "Quiet" and "Stubborn", published in
// _instance for the object's lifetime.
struct ScopedFactory {
    ScopedFactory()
    {
        events = StoreEvents();
        factory->RegisterType("Plain", Constructor<PlainStore>);
        factory->RegisterType("Quiet", Constructor<RemoteStore<false>>);
        factory->RegisterType("Stubborn", Constructor<RemoteStore<true>>);
    }
    ~ScopedFactory()
    {
        factory.reset();
        Singleton<AuthenticationStoreFactory>::_instance = loaded;
    }

    AuthenticationStoreFactory* loaded = Singleton<AuthenticationStoreFactory>::_instance;
    std::unique_ptr<AuthenticationStoreFactory> factory{new AuthenticationStoreFactory};
};

TEST(StoreFactory, IsPublishedOnceAndCreatesStoresByTheirExactName)
{
    AuthenticationStoreFactory& factory = *Singleton<AuthenticationStoreFactory>::_instance;
    EXPECT_EQ(&Singleton<AuthenticationStoreFactory>::_instance,
              dlsym(RTLD_DEFAULT, "_ZN6orvane14authentication9SingletonINS0_26AuthenticationStoreFactoryEE9_instanceE"));
    EXPECT_EQ((std::vector<std::string>{"Active Directory", "None"}), factory.GetRegisteredStores());

    orvauth_test::ResetConfigDir();
    EXPECT_NE(nullptr, dynamic_cast<NoRemoteAuthenticationStore*>(factory.CreateInstance("None").get()));
    orvauth_test::WriteFile(orvauth_test::ConfigFile("provider.conf"), "provider = \"scriptable\"\n");
    EXPECT_NE(nullptr, dynamic_cast<ActiveDirectoryStore*>(factory.CreateInstance("Active Directory").get()));
    for (const char* name : {"none", "None ", "ActiveDirectory", ""}) {
        EXPECT_EQ(nullptr, factory.CreateInstance(name)) << "'" << name << "'";
    }
}

TEST(StoreFactory, KeepsTheFirstRegistrationOfANameAndClearsTheInstanceWhenDestroyed)
{
    {
        ScopedFactory scoped;
        scoped.factory->RegisterType("None", Constructor<PlainStore>);
        scoped.factory->RegisterType("alpha", Constructor<PlainStore>);
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
    } catch (const std::runtime_error& error) {  // not one of the library's own
        EXPECT_EQ(nullptr, dynamic_cast<const Exception*>(&error));
        EXPECT_STREQ("Attempted to disable None Store", error.what());
    }
}

const std::string RECORD = ConfigFile("authentication.conf");

void Record(const std::string& content) { orvauth_test::WriteFile(RECORD, content); }

class ActiveStoreRecord : public ::testing::Test {
protected:
    void SetUp() override
    {
        orvauth_test::ResetConfigDir();
        orvauth_test::WriteFile(ConfigFile("provider.conf"), "provider = \"scriptable\"\n");
    }
};

// A missing record is an error, not "inactive", and no store's MakeActive
// creates one.
TEST_F(ActiveStoreRecord, RefusesAMissingRecordAndCreatesNone)
{
    NoRemoteAuthenticationStore none;
    ActiveDirectoryStore directory(60);
    for (const std::function<void()>& call : std::vector<std::function<void()>>{
             [&] { none.MakeActive(); }, [&] { directory.IsActive(); }, [&] { directory.MakeActive(); }}) {
        EXPECT_THROW(call(), IOError);
        EXPECT_FALSE(orvauth_test::FileExists(RECORD));
    }
}

TEST_F(ActiveStoreRecord, RecordsEachBuiltInStoreAndDeactivatesThePreviousOneOnce)
{
    ScopedFactory scoped;
    Record("remote-authentication-store = \"Quiet\"\nother = \"kept\"\n");
    NoRemoteAuthenticationStore().MakeActive();
    const std::string none = "other = \"kept\"\nremote-authentication-store = \"None\"\n";
    EXPECT_EQ(none, ReadFile(RECORD));
    EXPECT_EQ(1, events.madeInactive);
    EXPECT_EQ(1, events.destroyed);

    // None already recorded: no rewrite, no other store.
    struct stat before, after;
    ASSERT_EQ(0, ::stat(RECORD.c_str(), &before));
    NoRemoteAuthenticationStore().MakeActive();
    ASSERT_EQ(0, ::stat(RECORD.c_str(), &after));
    EXPECT_EQ(before.st_ino, after.st_ino);
    EXPECT_EQ(1, events.created);

    ActiveDirectoryStore directory(60);
    EXPECT_FALSE(directory.IsActive());
    directory.MakeActive();
    EXPECT_TRUE(directory.IsActive());
    const std::string active = "other = \"kept\"\nremote-authentication-store = \"Active Directory\"\n";
    EXPECT_EQ(active, ReadFile(RECORD));
    directory.MakeInactive();  // leaves the record to the next store's MakeActive
    EXPECT_EQ(active, ReadFile(RECORD));
}

// Whatever goes wrong with the previous store, the record already says None.
TEST_F(ActiveStoreRecord, KeepsNoneRecordedWhenThePreviousStoreFails)
{
    const struct {
        const char* previous;
        const std::type_info& type;
        const char* message;
    } cases[] = {
        {"none", typeid(UnknownRemoteAuthenticationStoreException), "The specified store 'none' is unknown"},
        {"Plain", typeid(InvalidRemoteAuthenticationStoreException), "The specified store 'Plain' is invalid"},
        {"Stubborn", typeid(IOError), "cannot step down"},
        {"Active Directory", typeid(InvalidActiveDirectoryProviderException),
         "The specified Active Directory provider '(none installed)' is invalid"},
    };
    std::remove(ConfigFile("provider.conf").c_str());
    ScopedFactory scoped;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.previous);
        events = StoreEvents();
        Record(std::string("remote-authentication-store = \"") + c.previous + "\"\n");
        try {
            NoRemoteAuthenticationStore().MakeActive();
            ADD_FAILURE() << "no exception";
        } catch (const Exception& error) {
            EXPECT_EQ(c.type, typeid(error));
            EXPECT_STREQ(c.message, error.what());
        }
        EXPECT_EQ("remote-authentication-store = \"None\"\n", ReadFile(RECORD));
        EXPECT_EQ(events.created, events.destroyed);
    }
}

}  // namespace
