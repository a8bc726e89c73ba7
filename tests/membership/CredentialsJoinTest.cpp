// Join and leave with credentials: the checks before the plug-in is called,
// how the domain argument is split, how the domain record follows the
// membership, and what a failed join leaves of the host files.
#include "MembershipSandbox.h"

#include <orvane/authentication/ActiveDirectoryConfigStore.h>
#include <orvane/authentication/Exceptions.h>

#include <sys/stat.h>
#include <syslog.h>

namespace membership_test {
namespace {

using orvane::authentication::InvalidCredentialsException;
using orvane::authentication::NoSuchDomainException;

const int NO_SUCH_DOMAIN = 1355;
const char NO_PASSWORD[] =
    "empty or no password was specified; the account must have a non-empty password to join the host to domain";
const char STORE_FAILED[] = "Failed to store domain details to Config Store: database is locked.Leaving Domain...";

class CredentialsJoinTest : public MembershipSandbox {
protected:
    unsigned Calls(int slot) { return plugin.Read().calls[slot]; }
    std::function<void()> Join(bool skipHostNameCheck = true)
    {
        return [=] { store->JoinDomain("corp.example/Servers", credentials, skipHostNameCheck); };
    }

    Credentials credentials{"administrator", "secret"};
};

struct JoinCase {
    const char *argument, *userName, *password;
    const char* refusal;             // null: accepted
    const char* domain;              // accepted: what the plug-in receives and the record holds
    const char* organizationalUnit;  // accepted; null: the plug-in receives none
};

void PrintTo(const JoinCase& c, std::ostream* out) { *out << c.argument << " " << (c.password ? c.password : "(null)"); }

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
    EXPECT_EQ(static_cast<const void*>(&given), seen.joinDomain.credentials.credentialsAddress);
    EXPECT_STREQ(c.domain, seen.joinDomain.domain.text);
    EXPECT_EQ(c.organizationalUnit == nullptr, seen.joinDomain.organizationalUnit.isNull != 0);
    Record expected{{"domain_name", c.domain}, {"auth_proxy_address", ""}};
    if (c.organizationalUnit != nullptr) {
        EXPECT_STREQ(c.organizationalUnit, seen.joinDomain.organizationalUnit.text);
        expected["organizational_unit"] = c.organizationalUnit;
    }
    EXPECT_EQ(expected, DomainRecord());
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, JoinArgumentTest,
    ::testing::Values(JoinCase{"corp.example", nullptr, "secret", "no username was specified", nullptr, nullptr},
                      JoinCase{"corp.example", "administrator", nullptr, NO_PASSWORD, nullptr, nullptr},
                      JoinCase{"corp.example", "administrator", "", NO_PASSWORD, nullptr, nullptr},
                      JoinCase{"corp.example/Servers/Hosts", "administrator", "secret", nullptr, "corp.example",
                               "Servers/Hosts"},
                      // The directory, not the library, judges a blank password and an empty user.
                      JoinCase{"corp.example/", "administrator", " ", nullptr, "corp.example", nullptr},
                      JoinCase{"/Servers", "", "secret", nullptr, "", "Servers"}));

TEST_F(CredentialsJoinTest, DisabledConfigStoreIsNeitherWrittenNorCleared)
{
    for (unsigned feature : {1u, 57u}) {
        OrvPlatform::Settings::SetFeature(1, true);
        OrvPlatform::Settings::SetFeature(57, true);
        orvane::authentication::ActiveDirectoryConfigStore().StoreDomainInfo("old.example", "", "");
        OrvPlatform::Settings::SetFeature(feature, false);
        HookedConfigStore& hooked = InstallHookedStore();
        Join()();
        store->PartDomain();
        EXPECT_EQ("", hooked.calls) << "feature " << feature;
    }
    EXPECT_EQ(Record({{"domain_name", "old.example"}, {"auth_proxy_address", ""}}), DomainRecord());
}

TEST_F(CredentialsJoinTest, UnstorableRecordUndoesJoinAndRethrows)
{
    InstallHookedStore().failOn = "set ";
    ExpectRefused(Join(), typeid(QelConfigStore::ConfigStoreException), "database is locked");
    EXPECT_EQ(OneLine(LOG_ERR, STORE_FAILED), LoggedLines());
    ScriptablePluginControl seen = plugin.Read();
    EXPECT_EQ(1u, seen.calls[SCRIPTABLE_SLOT_PART_DOMAIN]);
    EXPECT_TRUE(seen.partDomain.credentialsNull);
    EXPECT_TRUE(DomainRecord().empty());

    // A failing leave replaces the store's exception.
    plugin->status[SCRIPTABLE_SLOT_PART_DOMAIN] = NO_SUCH_DOMAIN;
    EXPECT_THROW(Join()(), NoSuchDomainException);

    // So does a store that cannot be opened at all.
    plugin->status[SCRIPTABLE_SLOT_PART_DOMAIN] = 0;
    OrvPlatform::Settings::InstallConfigStore(QelConfigStore::sGlobalNamespace, nullptr);
    OrvPlatform::Settings::SetConfigStorePath(dir.File("missing-directory/configstore.db"));
    EXPECT_THROW(Join()(), QelConfigStore::ConfigStoreException);
    EXPECT_EQ(3u, Calls(SCRIPTABLE_SLOT_PART_DOMAIN));
    EXPECT_EQ(3u, LoggedLines().size());
}

TEST_F(CredentialsJoinTest, LeaveRemovesRecordOnlyOnceHostHasLeft)
{
    Join()();
    HookedConfigStore& hooked = InstallHookedStore();
    Credentials empty{nullptr, nullptr};
    store->PartDomain(empty);  // passed through, whatever it holds; the record stays
    EXPECT_EQ(static_cast<const void*>(&empty), plugin.Read().partDomain.credentialsAddress);
    plugin->status[SCRIPTABLE_SLOT_PART_DOMAIN] = NO_SUCH_DOMAIN;
    EXPECT_THROW(store->PartDomain(), NoSuchDomainException);
    EXPECT_EQ("", hooked.calls);

    plugin->status[SCRIPTABLE_SLOT_PART_DOMAIN] = 0;
    hooked.failOn = "remove ";
    EXPECT_THROW(store->PartDomain(), QelConfigStore::ConfigStoreException);
    EXPECT_EQ(OneLine(LOG_ERR, "Failed to remove domain details from Config Store: database is locked"), LoggedLines());
    EXPECT_FALSE(DomainRecord().empty());

    hooked.failOn.clear();
    store->PartDomain();
    EXPECT_TRUE(plugin.Read().partDomain.credentialsNull);
    EXPECT_TRUE(DomainRecord().empty());
}

TEST_F(CredentialsJoinTest, FailedJoinPutsBackTheHostFilesTheCheckEdited)
{
    SetHostInOtherDomain();
    chmod(HostsPath().c_str(), 0600);
    plugin->status[SCRIPTABLE_SLOT_JOIN_DOMAIN] = NO_SUCH_DOMAIN;
    EXPECT_THROW(Join(false)(), NoSuchDomainException);
    ExpectHostFilesUnchanged();
    EXPECT_EQ(0600u, orvauth_test::FileMode(HostsPath()));

    plugin->status[SCRIPTABLE_SLOT_JOIN_DOMAIN] = 0;
    Join(false)();
    EXPECT_EQ(HostsWith("node01.other.example", "node01"), ReadFile(HostsPath()));
    EXPECT_EQ(RESOLV_CONF_EDITED, ReadFile(ResolvConfPath()));
}

TEST_F(CredentialsJoinTest, HostFilesChangedByOthersDuringTheJoinAreLeftWithAWarning)
{
    SetHostInOtherDomain();
    HookedConfigStore& hooked = InstallHookedStore();
    hooked.failOn = "set ";
    hooked.beforeEach = [this] { orvauth_test::WriteFile(HostsPath(), "192.0.2.99\tsomeone-else\n"); };
    EXPECT_THROW(Join(false)(), QelConfigStore::ConfigStoreException);
    EXPECT_EQ("192.0.2.99\tsomeone-else\n", ReadFile(HostsPath()));
    EXPECT_EQ(RESOLV_CONF_BEFORE, ReadFile(ResolvConfPath()));
    const std::string warning = "Not restoring " + HostsPath() + " after the failed join: it was changed by something "
                                "else meanwhile";
    EXPECT_EQ(orvauth_test::LogLine({LOG_WARNING, warning}), LoggedLines().back());
}

}  // namespace
}  // namespace membership_test
