// Which store is active: reading the record in authentication.conf, and
// switching to the local-only store, which rewrites the record first and
// then asks the previous store to step down.
#include "common/Files.h"
#include "stores/TestStores.h"

#include <orvane/authentication/ActiveDirectoryStore.h>

#include <gtest/gtest.h>

#include <functional>
#include <sys/stat.h>
#include <typeinfo>

using namespace orvane::authentication;
using orvauth_test::ConfigFile;
using orvauth_test::events;
using orvauth_test::ReadFile;

namespace {

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
    orvauth_test::ScopedFactory scoped;
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
    orvauth_test::ScopedFactory scoped;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.previous);
        events = orvauth_test::StoreEvents();
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
