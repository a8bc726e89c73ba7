// Join and leave with credentials: the checks before the plug-in is called,
// how the domain argument is split, and how the domain record in the host
// configuration store follows the membership, rollback included.
#include "MembershipSandbox.h"

#include <orvane/authentication/Exceptions.h>

#include <platform/PlatformSettings.h>

#include <syslog.h>

namespace membership_test {
namespace {

using orvane::authentication::InvalidCredentialsException;
using orvane::authentication::InvalidHostNameException;
using orvane::authentication::NoSuchDomainException;
using orvauth_test::LoggedLines;

const int NO_SUCH_DOMAIN = 1355;
const char NO_PASSWORD[] =
    "empty or no password was specified; the account must have a non-empty password to join the host to domain";

class CredentialsJoinTest : public MembershipSandbox {
protected:
    unsigned Calls(int slot) { return plugin.Read().calls[slot]; }

    Credentials credentials{"administrator", "secret"};
};

struct JoinCase {
    const char* argument;
    const char* userName;
    const char* password;
    const char* refusal;             // null: accepted
    const char* domain;              // accepted: what the plug-in receives and the record holds
    const char* organizationalUnit;  // accepted; null: the plug-in receives none
};

void PrintTo(const JoinCase& c, std::ostream* out)
{
    *out << c.argument << " as " << (c.userName ? c.userName : "(null)") << "/" << (c.password ? c.password : "(null)");
}

class JoinArgumentTest : public CredentialsJoinTest, public ::testing::WithParamInterface<JoinCase> {};

TEST_P(JoinArgumentTest, ChecksCredentialsFirstThenSplitsAtFirstSlashAndRecordsBothParts)
{
    const JoinCase& c = GetParam();
    Credentials given{c.userName, c.password};
    if (c.refusal != nullptr) {
        ExpectRefused([&] { store->JoinDomain(c.argument, given, false); }, typeid(InvalidCredentialsException),
                      std::string("The credentials that were provided were invalid: ") + c.refusal);
        EXPECT_EQ(0u, Calls(SCRIPTABLE_SLOT_JOIN_DOMAIN));
        return;
    }
    store->JoinDomain(c.argument, given, true);
    ScriptablePluginControl seen = plugin.Read();
    EXPECT_EQ(1u, seen.calls[SCRIPTABLE_SLOT_JOIN_DOMAIN]);
    EXPECT_EQ(static_cast<const void*>(&given), seen.credentials);
    EXPECT_EQ(std::string("JoinDomain(") + c.domain + ", " + (c.organizationalUnit ? c.organizationalUnit : "(null)") +
                  ", " + c.userName + ":" + c.password + ")\n",
              seen.log);
    Record expected{{"domain_name", c.domain}, {"auth_proxy_address", ""}};
    if (c.organizationalUnit != nullptr) {
        expected["organizational_unit"] = c.organizationalUnit;
    }
    EXPECT_EQ(expected, DomainRecord());
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, JoinArgumentTest,
    ::testing::Values(JoinCase{"corp.example", nullptr, "secret", "no username was specified", nullptr, nullptr},
                      JoinCase{"corp.example", nullptr, nullptr, "no username was specified", nullptr, nullptr},
                      JoinCase{"corp.example", "administrator", nullptr, NO_PASSWORD, nullptr, nullptr},
                      JoinCase{"corp.example", "administrator", "", NO_PASSWORD, nullptr, nullptr},
                      JoinCase{"corp.example", "administrator", "secret", nullptr, "corp.example", nullptr},
                      JoinCase{"corp.example/Servers/Hosts", "administrator", "secret", nullptr, "corp.example",
                               "Servers/Hosts"},
                      // The directory, not the library, judges a blank password and an empty user.
                      JoinCase{"corp.example/", "administrator", " ", nullptr, "corp.example", nullptr},
                      JoinCase{"/Servers", "", "secret", nullptr, "", "Servers"},
                      JoinCase{"Corp.Example/ou=A B", "administrator", "secret", nullptr, "Corp.Example", "ou=A B"}));

TEST_F(CredentialsJoinTest, HostNameCheckUsesDomainPartOnly)
{
    SetHost("node01", "node01.corp.example");
    store->JoinDomain("/Servers", credentials, false);
    // The empty domain makes the expected name end in a dot.
    EXPECT_EQ(OneLine(LOG_WARNING,
                      "The fully qualified hostname node01.corp.example does not match the expected value node01.\n"),
              LoggedLines());
    EXPECT_EQ(std::vector<std::string>{""}, Resolver().domainLookups);
    EXPECT_EQ(1u, Calls(SCRIPTABLE_SLOT_JOIN_DOMAIN));
}

TEST_F(CredentialsJoinTest, RefusedHostOrFailedPluginJoinStoresNothing)
{
    SetHost("linux", "linux.corp.example");
    EXPECT_THROW(store->JoinDomain("corp.example", credentials, false), InvalidHostNameException);
    EXPECT_EQ(0u, Calls(SCRIPTABLE_SLOT_JOIN_DOMAIN));

    plugin->status[SCRIPTABLE_SLOT_JOIN_DOMAIN] = NO_SUCH_DOMAIN;
    EXPECT_THROW(store->JoinDomain("corp.example", credentials, true), NoSuchDomainException);
    EXPECT_EQ(0u, Calls(SCRIPTABLE_SLOT_PART_DOMAIN));
    EXPECT_TRUE(DomainRecord().empty());
}

TEST_F(CredentialsJoinTest, DisabledConfigStoreIsNeitherWrittenNorCleared)
{
    for (unsigned feature : {1u, 57u}) {
        OrvPlatform::Settings::SetFeature(1, true);
        OrvPlatform::Settings::SetFeature(57, true);
        SeedDomainRecord("old.example");
        OrvPlatform::Settings::SetFeature(feature, false);
        RecordingConfigStore& recording = InstallRecordingStore();

        store->JoinDomain("corp.example/Servers", credentials, true);
        store->PartDomain();

        EXPECT_EQ(0u, recording.Calls()) << "feature " << feature;
        EXPECT_EQ(Record({{"domain_name", "old.example"}, {"auth_proxy_address", ""}}), DomainRecord());
        OrvPlatform::Settings::InstallConfigStore(QelConfigStore::sGlobalNamespace, nullptr);
    }
    EXPECT_TRUE(LoggedLines().empty());
}

TEST_F(CredentialsJoinTest, UnstorableRecordUndoesJoinAndRethrows)
{
    InstallRecordingStore().setFailure = StoreFailure::ConfigStore;
    ExpectRefused([&] { store->JoinDomain("corp.example/Servers", credentials, true); },
                  typeid(QelConfigStore::ConfigStoreException), "database is locked");
    EXPECT_EQ(OneLine(LOG_ERR, "Failed to store domain details to Config Store: database is locked.Leaving Domain..."),
              LoggedLines());
    ScriptablePluginControl seen = plugin.Read();
    EXPECT_EQ(1u, seen.calls[SCRIPTABLE_SLOT_JOIN_DOMAIN]);
    EXPECT_EQ(1u, seen.calls[SCRIPTABLE_SLOT_PART_DOMAIN]);
    EXPECT_EQ(nullptr, seen.credentials);
    EXPECT_TRUE(DomainRecord().empty());

    // A failing leave replaces the store's exception.
    plugin->status[SCRIPTABLE_SLOT_PART_DOMAIN] = NO_SUCH_DOMAIN;
    EXPECT_THROW(store->JoinDomain("corp.example", credentials, true), NoSuchDomainException);
    EXPECT_EQ(2u, LoggedLines().size());
}

TEST_F(CredentialsJoinTest, UnopenableConfigStoreUndoesJoinToo)
{
    OrvPlatform::Settings::SetConfigStorePath(dir.File("missing-directory/configstore.db"));
    EXPECT_THROW(store->JoinDomain("corp.example", credentials, true), QelConfigStore::ConfigStoreException);
    ASSERT_EQ(1u, LoggedLines().size());
    EXPECT_EQ(LOG_ERR, LoggedLines()[0].priority);
    EXPECT_EQ(1u, Calls(SCRIPTABLE_SLOT_PART_DOMAIN));
}

TEST_F(CredentialsJoinTest, OtherStoreExceptionsPassWithoutUndo)
{
    InstallRecordingStore().setFailure = StoreFailure::Other;
    EXPECT_THROW(store->JoinDomain("corp.example", credentials, true), std::logic_error);
    EXPECT_TRUE(LoggedLines().empty());
    EXPECT_EQ(0u, Calls(SCRIPTABLE_SLOT_PART_DOMAIN));
}

TEST_F(CredentialsJoinTest, LeaveRemovesRecordOnlyOnceHostHasLeft)
{
    SeedDomainRecord("corp.example");
    RecordingConfigStore& recording = InstallRecordingStore();
    Credentials empty{nullptr, nullptr};
    store->PartDomain(empty);  // passed through, whatever it holds; the record stays
    EXPECT_EQ(static_cast<const void*>(&empty), plugin.Read().credentials);
    EXPECT_EQ(0u, recording.Calls());

    plugin->status[SCRIPTABLE_SLOT_PART_DOMAIN] = NO_SUCH_DOMAIN;
    EXPECT_THROW(store->PartDomain(), NoSuchDomainException);
    EXPECT_FALSE(DomainRecord().empty());

    plugin->status[SCRIPTABLE_SLOT_PART_DOMAIN] = 0;
    recording.removeFailure = StoreFailure::ConfigStore;
    EXPECT_THROW(store->PartDomain(), QelConfigStore::ConfigStoreException);
    EXPECT_EQ(OneLine(LOG_ERR, "Failed to remove domain details from Config Store: disk I/O error"), LoggedLines());
    EXPECT_FALSE(DomainRecord().empty());

    recording.removeFailure = StoreFailure::None;
    store->PartDomain();
    EXPECT_EQ(nullptr, plugin.Read().credentials);
    EXPECT_EQ(4u, Calls(SCRIPTABLE_SLOT_PART_DOMAIN));
    EXPECT_TRUE(DomainRecord().empty());
    EXPECT_EQ(1u, LoggedLines().size());
}

}  // namespace
}  // namespace membership_test
