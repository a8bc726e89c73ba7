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
#include <unistd.h>

using namespace orvane::authentication;
using orvauth_test::ConfigFile;
using orvauth_test::Events;
using orvauth_test::ReadFile;

namespace {

const std::string RECORD = ConfigFile("authentication.conf");

void Record(const std::string& content) { orvauth_test::WriteFile(RECORD, content); }

class ActiveStoreRecord : public ::testing::Test {
protected:
    void SetUp() override { orvauth_test::ResetConfigDir(); }

    bool IsActive(const std::string& name)
    {
        return Singleton<AuthenticationStoreFactory>::_instance->CreateInstance(name)->IsActive();
    }
};

TEST_F(ActiveStoreRecord, ComparesTheRecordedNameExactly)
{
    const struct {
        const char* content;
        bool noneActive;
        bool directoryActive;
    } cases[] = {
        {"remote-authentication-store = \"None\"\n", true, false},
        {"remote-authentication-store = None\n", true, false},
        {"  remote-authentication-store=\"Active Directory\"  \n", false, true},
        {"remote-authentication-store = Active Directory\n", false, true},
        {"remote-authentication-store = \"none\"\n", false, false},
        {"remote-authentication-store = \"\"\n", false, false},
        {"remote-authentication-store = \" None\"\n", false, false},
    };
    orvauth_test::WriteFile(ConfigFile("provider.conf"), "provider = \"scriptable\"\n");
    for (const auto& c : cases) {
        Record(c.content);
        EXPECT_EQ(c.noneActive, IsActive("None")) << c.content;
        EXPECT_EQ(c.directoryActive, IsActive("Active Directory")) << c.content;
    }
}

// A missing file or key is an error, not "inactive", and neither store's
// MakeActive touches the file then.
TEST_F(ActiveStoreRecord, RefusesAnUnusableRecordAndChangesNothing)
{
    const struct {
        const char* content;  // null: no file
        const std::type_info& type;
        std::string message;  // empty: not checked here
    } cases[] = {
        {nullptr, typeid(IOError), "Unable to open '" + RECORD + "': No such file or directory"},
        {"other = \"None\"\n", typeid(InvalidKeyException),
         "The specified key 'remote-authentication-store' was not found in this configuration"},
        {"remote-authentication-store None\n", typeid(ConfigurationError), ""},
    };
    orvauth_test::WriteFile(ConfigFile("provider.conf"), "provider = \"scriptable\"\n");
    orvauth_test::ScopedFactory scoped;
    NoRemoteAuthenticationStore none;
    ActiveDirectoryStore directory(60);
    const std::function<void()> calls[] = {[&] { none.IsActive(); }, [&] { none.MakeActive(); },
                                           [&] { directory.IsActive(); }, [&] { directory.MakeActive(); }};
    for (const auto& c : cases) {
        c.content ? Record(c.content) : static_cast<void>(::unlink(RECORD.c_str()));
        for (const auto& call : calls) {
            SCOPED_TRACE(c.type.name() + std::to_string(&call - calls));
            try {
                call();
                ADD_FAILURE() << "no exception";
            } catch (const Exception& error) {
                EXPECT_EQ(c.type, typeid(error));
                EXPECT_TRUE(c.message.empty() || c.message == error.what()) << error.what();
            }
            const bool exists = orvauth_test::FileExists(RECORD);
            EXPECT_EQ(c.content ? c.content : "(no file)", exists ? ReadFile(RECORD) : "(no file)");
        }
    }
    EXPECT_EQ(0, Events().created);
}

TEST_F(ActiveStoreRecord, RecordsNoneThenDeactivatesThePreviousStoreOnlyOnce)
{
    orvauth_test::ScopedFactory scoped;
    Record("remote-authentication-store = \"Quiet\"\nother = \"kept\"\n");
    NoRemoteAuthenticationStore().MakeActive();
    const std::string recorded = "other = \"kept\"\nremote-authentication-store = \"None\"\n";
    EXPECT_EQ(recorded, ReadFile(RECORD));
    EXPECT_EQ(1, Events().madeInactive);
    EXPECT_EQ(1, Events().destroyed);

    // None already recorded: no rewrite, no other store.
    struct stat before, after;
    ASSERT_EQ(0, ::stat(RECORD.c_str(), &before));
    NoRemoteAuthenticationStore().MakeActive();
    ASSERT_EQ(0, ::stat(RECORD.c_str(), &after));
    EXPECT_EQ(recorded, ReadFile(RECORD));
    EXPECT_EQ(before.st_ino, after.st_ino);
    EXPECT_EQ(1, Events().created);
}

TEST_F(ActiveStoreRecord, SwitchesBetweenTheBuiltInStores)
{
    orvauth_test::WriteFile(ConfigFile("provider.conf"), "provider = \"scriptable\"\n");
    Record("remote-authentication-store = \"Active Directory\"\nextra = \"kept\"\n");
    NoRemoteAuthenticationStore().MakeActive();
    EXPECT_EQ("extra = \"kept\"\nremote-authentication-store = \"None\"\n", ReadFile(RECORD));

    ActiveDirectoryStore directory(60);
    EXPECT_FALSE(directory.IsActive());
    directory.MakeActive();
    const std::string recorded = "extra = \"kept\"\nremote-authentication-store = \"Active Directory\"\n";
    EXPECT_EQ(recorded, ReadFile(RECORD));
    EXPECT_TRUE(IsActive("Active Directory"));
    EXPECT_FALSE(IsActive("None"));
    directory.MakeInactive();  // leaves the record to the next store's MakeActive
    EXPECT_EQ(recorded, ReadFile(RECORD));
    EXPECT_EQ("Active Directory", directory.GetDisplayName());
}

// Whatever goes wrong with the previous store, the record already says None.
TEST_F(ActiveStoreRecord, KeepsNoneRecordedWhenThePreviousStoreFails)
{
    const struct {
        const char* previous;
        const std::type_info& type;
        const char* message;
    } cases[] = {
        {"", typeid(UnknownRemoteAuthenticationStoreException), "The specified store '' is unknown"},
        {"none", typeid(UnknownRemoteAuthenticationStoreException), "The specified store 'none' is unknown"},
        {"Plain", typeid(InvalidRemoteAuthenticationStoreException), "The specified store 'Plain' is invalid"},
        {"Stubborn", typeid(IOError), "cannot step down"},
        // No provider.conf: the directory store cannot be created.
        {"Active Directory", typeid(InvalidActiveDirectoryProviderException),
         "The specified Active Directory provider '(none installed)' is invalid"},
    };
    orvauth_test::ScopedFactory scoped;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.previous);
        Events() = orvauth_test::StoreEvents();
        Record(std::string("remote-authentication-store = \"") + c.previous + "\"\n");
        try {
            NoRemoteAuthenticationStore().MakeActive();
            ADD_FAILURE() << "no exception";
        } catch (const Exception& error) {
            EXPECT_EQ(c.type, typeid(error));
            EXPECT_STREQ(c.message, error.what());
        }
        EXPECT_EQ("remote-authentication-store = \"None\"\n", ReadFile(RECORD));
        EXPECT_EQ(Events().created, Events().destroyed);
    }
}

}  // namespace
