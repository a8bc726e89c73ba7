// Join and leave with credentials: the checks before the plug-in is called,
// how the domain argument is split, and how the domain record in the host
// configuration store follows the membership, rollback included.
#include "MembershipSandbox.h"

#include "common/SyslogRecorder.h"

#include <orvane/authentication/Exceptions.h>

#include <platform/FeatureList.h>
#include <platform/PlatformSettings.h>

#include <syslog.h>

namespace membership_test {
namespace {

using orvane::authentication::InvalidCredentialsException;
using orvane::authentication::InvalidHostNameException;
using orvane::authentication::NoSuchDomainException;
using orvauth_test::LoggedLines;
using orvauth_test::LogLine;
using Record = std::map<std::string, std::string>;

const int NO_SUCH_DOMAIN = 1355;

class CredentialsJoinTest : public MembershipSandbox {
protected:
    CredentialsJoinTest() : credentials{"administrator", "secret"} {}

    unsigned Calls(int slot) { return plugin.Read().calls[slot]; }

    void DisableConfigStore() { OrvPlatform::Settings::SetFeature(57, false); }

    Credentials credentials;
};

struct CredentialCase {
    const char* userName;
    const char* password;
    const char* refusal;  // null: accepted
};

void PrintTo(const CredentialCase& c, std::ostream* out)
{
    *out << (c.userName ? c.userName : "(null)") << " / " << (c.password ? "'" + std::string(c.password) + "'" : "(null)");
}

class CredentialCheckTest : public CredentialsJoinTest, public ::testing::WithParamInterface<CredentialCase> {};

TEST_P(CredentialCheckTest, RefusesBeforeAnythingHappensOrPassesRecordThrough)
{
    const CredentialCase& c = GetParam();
    Credentials given{c.userName, c.password};

    if (c.refusal != nullptr) {
        try {
            store->JoinDomain("corp.example", given, false);
            ADD_FAILURE() << "credentials accepted";
        } catch (const InvalidCredentialsException& error) {
            EXPECT_EQ(std::string("The credentials that were provided were invalid: ") + c.refusal, error.what());
        }
        EXPECT_EQ(0u, GetHostNameCalls());
        EXPECT_EQ(0u, Calls(SCRIPTABLE_SLOT_JOIN_DOMAIN));
        EXPECT_TRUE(DomainRecord().empty());
        return;
    }
    store->JoinDomain("corp.example", given, true);
    ScriptablePluginControl seen = plugin.Read();
    EXPECT_EQ(1u, seen.calls[SCRIPTABLE_SLOT_JOIN_DOMAIN]);
    EXPECT_EQ(static_cast<const void*>(&given), seen.joinDomain.credentials.credentialsAddress);
    EXPECT_STREQ(c.userName, seen.joinDomain.credentials.userName.text);
    EXPECT_STREQ(c.password, seen.joinDomain.credentials.password.text);
}

const char* const NO_PASSWORD =
    "empty or no password was specified; the account must have a non-empty password to join the host to domain";

INSTANTIATE_TEST_SUITE_P(Records, CredentialCheckTest,
                         ::testing::Values(CredentialCase{nullptr, "secret", "no username was specified"},
                                           CredentialCase{nullptr, nullptr, "no username was specified"},
                                           CredentialCase{"administrator", nullptr, NO_PASSWORD},
                                           CredentialCase{"administrator", "", NO_PASSWORD},
                                           // The directory, not the library, judges these.
                                           CredentialCase{"administrator", " ", nullptr},
                                           CredentialCase{"", "secret", nullptr}));

struct DomainArgumentCase {
    const char* argument;
    const char* domain;
    const char* organizationalUnit;  // null: the plug-in receives no unit
};

void PrintTo(const DomainArgumentCase& c, std::ostream* out) { *out << c.argument; }

class DomainArgumentTest : public CredentialsJoinTest, public ::testing::WithParamInterface<DomainArgumentCase> {};

TEST_P(DomainArgumentTest, SplitsAtFirstSlashAndRecordsBothParts)
{
    const DomainArgumentCase& c = GetParam();
    store->JoinDomain(c.argument, credentials, true);

    ScriptablePluginControl seen = plugin.Read();
    EXPECT_STREQ(c.domain, seen.joinDomain.domain.text);
    EXPECT_EQ(c.organizationalUnit == nullptr, seen.joinDomain.organizationalUnit.isNull != 0);
    Record expected{{"domain_name", c.domain}, {"auth_proxy_address", ""}};
    if (c.organizationalUnit != nullptr) {
        EXPECT_STREQ(c.organizationalUnit, seen.joinDomain.organizationalUnit.text);
        expected["organizational_unit"] = c.organizationalUnit;
    }
    EXPECT_EQ(expected, DomainRecord());
    EXPECT_EQ(0u, GetHostNameCalls());  // check skipped
}

INSTANTIATE_TEST_SUITE_P(Arguments, DomainArgumentTest,
                         ::testing::Values(DomainArgumentCase{"corp.example", "corp.example", nullptr},
                                           DomainArgumentCase{"corp.example/Servers/Hosts", "corp.example",
                                                              "Servers/Hosts"},
                                           DomainArgumentCase{"corp.example/", "corp.example", nullptr},
                                           DomainArgumentCase{"/Servers", "", "Servers"},
                                           DomainArgumentCase{"Corp.Example/ou=A B", "Corp.Example", "ou=A B"}));

TEST_F(CredentialsJoinTest, HostNameCheckUsesDomainPartOnly)
{
    SetHostName("node01");
    SetResolution("node01", "node01.corp.example");

    store->JoinDomain("/Servers", credentials, false);

    // The empty domain makes the expected name end in a dot.
    EXPECT_EQ(OneLine(LOG_WARNING, "The fully qualified hostname node01.corp.example does not match the "
                                                 "expected value node01.\n"),
              LoggedLines());
    EXPECT_EQ(std::vector<std::string>{""}, DomainLookups());
    EXPECT_EQ(1u, Calls(SCRIPTABLE_SLOT_JOIN_DOMAIN));
}

TEST_F(CredentialsJoinTest, RefusedHostNameStopsJoinBeforePlugin)
{
    SetHostName("linux");
    SetResolution("linux", "linux.corp.example");

    EXPECT_THROW(store->JoinDomain("corp.example", credentials, false), InvalidHostNameException);
    EXPECT_EQ(0u, Calls(SCRIPTABLE_SLOT_JOIN_DOMAIN));
    EXPECT_TRUE(DomainRecord().empty());
}

TEST_F(CredentialsJoinTest, FailedPluginJoinStoresNothing)
{
    plugin->status[SCRIPTABLE_SLOT_JOIN_DOMAIN] = NO_SUCH_DOMAIN;

    EXPECT_THROW(store->JoinDomain("corp.example", credentials, true), NoSuchDomainException);
    EXPECT_TRUE(DomainRecord().empty());
    EXPECT_EQ(0u, Calls(SCRIPTABLE_SLOT_PART_DOMAIN));
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

        EXPECT_EQ(0u, recording.getCalls + recording.setCalls + recording.removeCalls) << "feature " << feature;
        EXPECT_EQ(Record({{"domain_name", "old.example"}, {"auth_proxy_address", ""}}), DomainRecord());
        OrvPlatform::Settings::InstallConfigStore(QelConfigStore::sGlobalNamespace, nullptr);
    }
    EXPECT_TRUE(LoggedLines().empty());
}

TEST_F(CredentialsJoinTest, UnstorableRecordUndoesJoinAndRethrows)
{
    RecordingConfigStore& recording = InstallRecordingStore();
    recording.setFailure = StoreFailure::ConfigStore;

    try {
        store->JoinDomain("corp.example/Servers", credentials, true);
        ADD_FAILURE() << "join succeeded";
    } catch (const QelConfigStore::ConfigStoreException& error) {
        EXPECT_STREQ("database is locked", error.what());
    }

    EXPECT_EQ(OneLine(LOG_ERR, "Failed to store domain details to Config Store: database is "
                                             "locked.Leaving Domain..."),
              LoggedLines());
    ScriptablePluginControl seen = plugin.Read();
    EXPECT_EQ(1u, seen.calls[SCRIPTABLE_SLOT_JOIN_DOMAIN]);
    EXPECT_EQ(1u, seen.calls[SCRIPTABLE_SLOT_PART_DOMAIN]);
    EXPECT_TRUE(seen.partDomain.credentialsNull);
    EXPECT_EQ(0, recording.lastFlags);
    EXPECT_TRUE(DomainRecord().empty());
}

TEST_F(CredentialsJoinTest, UnopenableConfigStoreUndoesJoinToo)
{
    OrvPlatform::Settings::SetConfigStorePath(dir.File("missing-directory/configstore.db"));

    EXPECT_THROW(store->JoinDomain("corp.example", credentials, true), QelConfigStore::ConfigStoreException);
    ASSERT_EQ(1u, LoggedLines().size());
    EXPECT_EQ(LOG_ERR, LoggedLines()[0].priority);
    EXPECT_EQ(1u, Calls(SCRIPTABLE_SLOT_PART_DOMAIN));
}

TEST_F(CredentialsJoinTest, FailedUndoReportsLeaveFailure)
{
    InstallRecordingStore().setFailure = StoreFailure::ConfigStore;
    plugin->status[SCRIPTABLE_SLOT_PART_DOMAIN] = NO_SUCH_DOMAIN;

    EXPECT_THROW(store->JoinDomain("corp.example", credentials, true), NoSuchDomainException);
    EXPECT_EQ(1u, LoggedLines().size());
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
    plugin->statusSequence[SCRIPTABLE_SLOT_PART_DOMAIN][0] = NO_SUCH_DOMAIN;
    plugin->statusSequenceLength[SCRIPTABLE_SLOT_PART_DOMAIN] = 1;

    EXPECT_THROW(store->PartDomain(), NoSuchDomainException);
    EXPECT_FALSE(DomainRecord().empty());

    store->PartDomain();
    EXPECT_EQ(2u, Calls(SCRIPTABLE_SLOT_PART_DOMAIN));
    EXPECT_TRUE(plugin.Read().partDomain.credentialsNull);
    EXPECT_TRUE(DomainRecord().empty());
    EXPECT_TRUE(LoggedLines().empty());
}

TEST_F(CredentialsJoinTest, UnremovableRecordIsLoggedAndRethrownAfterLeaving)
{
    SeedDomainRecord("corp.example");
    InstallRecordingStore().removeFailure = StoreFailure::ConfigStore;

    EXPECT_THROW(store->PartDomain(), QelConfigStore::ConfigStoreException);
    EXPECT_EQ(OneLine(LOG_ERR, "Failed to remove domain details from Config Store: disk I/O error"),
              LoggedLines());
    EXPECT_EQ(1u, Calls(SCRIPTABLE_SLOT_PART_DOMAIN));
    EXPECT_FALSE(DomainRecord().empty());
}

TEST_F(CredentialsJoinTest, LeaveWithCredentialsPassesRecordAndKeepsDomainRecord)
{
    SeedDomainRecord("corp.example");
    RecordingConfigStore& recording = InstallRecordingStore();
    Credentials empty{nullptr, nullptr};

    store->PartDomain(empty);

    ScriptablePluginControl seen = plugin.Read();
    EXPECT_EQ(1u, seen.calls[SCRIPTABLE_SLOT_PART_DOMAIN]);
    EXPECT_FALSE(seen.partDomain.credentialsNull);
    EXPECT_EQ(static_cast<const void*>(&empty), seen.partDomain.credentialsAddress);
    EXPECT_EQ(0u, recording.getCalls + recording.removeCalls);
    EXPECT_TRUE(LoggedLines().empty());
}

}  // namespace
}  // namespace membership_test
