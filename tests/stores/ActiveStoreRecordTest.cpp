// Which store is active: reading the record in authentication.conf, and
// switching to the local-only store, which rewrites the record first and
// then asks the previous store to step down.
#include "common/Files.h"
#include "plugins/ScriptablePluginLoader.h"
#include "stores/TestStores.h"

#include <orvane/authentication/ActiveDirectoryStore.h>
#include <orvane/authentication/Exceptions.h>
#include <orvane/authentication/Stores.h>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <typeinfo>
#include <unistd.h>

using namespace orvane::authentication;
using orvauth_test::ConfigFile;
using orvauth_test::ReadFile;
using orvauth_test::WriteFile;

namespace {

const std::string RECORD = ConfigFile("authentication.conf");

void Record(const std::string& content) { WriteFile(RECORD, content); }

ino_t InodeOf(const std::string& path)
{
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 ? info.st_ino : 0;
}

class ActiveStoreRecord : public ::testing::Test {
protected:
    void SetUp() override
    {
        orvauth_test::ResetConfigDir();
        WriteFile(ConfigFile("provider.conf"), "provider = \"scriptable\"\n");
    }

    bool IsActive(const std::string& name)
    {
        return Singleton<AuthenticationStoreFactory>::_instance->CreateInstance(name)->IsActive();
    }
};

// --- IsActive --------------------------------------------------------------------

struct RecordCase {
    const char* content;
    bool noneActive;
    bool directoryActive;
};

TEST_F(ActiveStoreRecord, ComparesTheRecordedNameExactly)
{
    const RecordCase cases[] = {
        {"remote-authentication-store = \"None\"\n", true, false},
        {"remote-authentication-store = None\n", true, false},
        {"  remote-authentication-store=\"Active Directory\"  \n", false, true},
        {"remote-authentication-store = Active Directory\n", false, true},
        {"remote-authentication-store = \"none\"\n", false, false},
        {"remote-authentication-store = \"\"\n", false, false},
        {"remote-authentication-store = \" None\"\n", false, false},
    };
    for (const RecordCase& c : cases) {
        Record(c.content);
        EXPECT_EQ(c.noneActive, IsActive("None")) << c.content;
        EXPECT_EQ(c.directoryActive, IsActive("Active Directory")) << c.content;
    }
}

TEST_F(ActiveStoreRecord, TreatsAnUnreadableRecordAsAnErrorNotAsInactive)
{
    NoRemoteAuthenticationStore store;
    try {
        store.IsActive();
        FAIL() << "IsActive returned without a record file";
    } catch (const IOError& error) {
        EXPECT_EQ("Unable to open '" + RECORD + "': No such file or directory", std::string(error.what()));
    }

    Record("other = \"None\"\n");
    try {
        store.IsActive();
        FAIL() << "IsActive returned without the key";
    } catch (const InvalidKeyException& error) {
        EXPECT_STREQ("The specified key 'remote-authentication-store' was not found in this configuration",
                     error.what());
    }

    Record("remote-authentication-store None\n");
    EXPECT_THROW(store.IsActive(), ConfigurationError);
}

// --- NoRemoteAuthenticationStore::MakeActive ---------------------------------------

TEST_F(ActiveStoreRecord, LeavesARecordedNoneUntouched)
{
    orvauth_test::ScopedFactory scoped;
    const std::string content = "  remote-authentication-store   =   None  \n";
    Record(content);
    const ino_t before = InodeOf(RECORD);
    NoRemoteAuthenticationStore().MakeActive();
    EXPECT_EQ(content, ReadFile(RECORD));
    EXPECT_EQ(before, InodeOf(RECORD));
    EXPECT_EQ(0, orvauth_test::Events().created);
}

TEST_F(ActiveStoreRecord, RecordsNoneThenDeactivatesThePreviousStore)
{
    orvauth_test::ScopedFactory scoped;
    Record("remote-authentication-store = \"Quiet\"\nother = \"kept\"\n");
    NoRemoteAuthenticationStore().MakeActive();
    EXPECT_EQ("other = \"kept\"\nremote-authentication-store = \"None\"\n", ReadFile(RECORD));
    EXPECT_EQ(1, orvauth_test::Events().madeInactive);
    EXPECT_EQ(1, orvauth_test::Events().destroyed);
}

TEST_F(ActiveStoreRecord, SwitchesFromTheDirectoryStore)
{
    orvauth_test::ScriptablePlugin plugin("scriptable");
    Record("remote-authentication-store = \"Active Directory\"\n");
    NoRemoteAuthenticationStore().MakeActive();
    EXPECT_EQ("remote-authentication-store = \"None\"\n", ReadFile(RECORD));

    Singleton<AuthenticationStoreFactory>::_instance->CreateInstance("Active Directory")->MakeActive();
    EXPECT_TRUE(IsActive("Active Directory"));
    EXPECT_FALSE(IsActive("None"));
}

struct FailedSwitchCase {
    const char* label;
    const char* previous;
    const std::type_info& type;
    const char* message;
};

// Whatever goes wrong with the previous store, the record already says None.
TEST_F(ActiveStoreRecord, KeepsNoneRecordedWhenThePreviousStoreFails)
{
    const FailedSwitchCase cases[] = {
        {"empty name", "", typeid(UnknownRemoteAuthenticationStoreException), "The specified store '' is unknown"},
        {"other case", "none", typeid(UnknownRemoteAuthenticationStoreException),
         "The specified store 'none' is unknown"},
        {"not a remote store", "Plain", typeid(InvalidRemoteAuthenticationStoreException),
         "The specified store 'Plain' is invalid"},
        {"refuses to step down", "Stubborn", typeid(IOError), "cannot step down"},
    };
    orvauth_test::ScopedFactory scoped;
    for (const FailedSwitchCase& c : cases) {
        orvauth_test::Events() = orvauth_test::StoreEvents();
        Record(std::string("remote-authentication-store = \"") + c.previous + "\"\n");
        try {
            NoRemoteAuthenticationStore().MakeActive();
            ADD_FAILURE() << c.label << ": no exception";
        } catch (const Exception& error) {
            EXPECT_EQ(c.type, typeid(error)) << c.label;
            EXPECT_STREQ(c.message, error.what()) << c.label;
        }
        EXPECT_EQ("remote-authentication-store = \"None\"\n", ReadFile(RECORD)) << c.label;
        EXPECT_EQ(orvauth_test::Events().created, orvauth_test::Events().destroyed) << c.label;
    }
}

TEST_F(ActiveStoreRecord, KeepsNoneRecordedWhenTheDirectoryStoreCannotBeCreated)
{
    ::unlink(ConfigFile("provider.conf").c_str());
    Record("remote-authentication-store = \"Active Directory\"\n");
    try {
        NoRemoteAuthenticationStore().MakeActive();
        FAIL() << "no exception";
    } catch (const InvalidActiveDirectoryProviderException& error) {
        EXPECT_STREQ("The specified Active Directory provider '(none installed)' is invalid", error.what());
    }
    EXPECT_EQ("remote-authentication-store = \"None\"\n", ReadFile(RECORD));
}

TEST_F(ActiveStoreRecord, ChangesNothingWhenTheRecordCannotBeRead)
{
    orvauth_test::ScopedFactory scoped;
    const std::string withoutKey = "other = \"Quiet\"\n";
    Record(withoutKey);
    EXPECT_THROW(NoRemoteAuthenticationStore().MakeActive(), InvalidKeyException);
    EXPECT_EQ(withoutKey, ReadFile(RECORD));

    ::unlink(RECORD.c_str());
    EXPECT_THROW(NoRemoteAuthenticationStore().MakeActive(), IOError);
    EXPECT_FALSE(orvauth_test::FileExists(RECORD));
    EXPECT_EQ(0, orvauth_test::Events().created);
}

}  // namespace
