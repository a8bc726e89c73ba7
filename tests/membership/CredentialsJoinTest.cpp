// Join and leave with credentials: the checks before the plug-in is called,
// how the domain argument is split, how the domain record in the host
// configuration store follows the membership, and what a failed join leaves
// of the host files.
#include "MembershipSandbox.h"

#include <orvane/authentication/ActiveDirectoryConfigStore.h>
#include <orvane/authentication/Exceptions.h>

#include <sys/stat.h>
#include <syslog.h>

namespace membership_test {
namespace {

using namespace orvane::authentication;
namespace Settings = OrvPlatform::Settings;

const int NO_SUCH_DOMAIN = 1355;
const char NO_PASSWORD[] =
    "empty or no password was specified; the account must have a non-empty password to join the host to domain";

struct JoinCase {
    const char *argument, *userName, *password;
    std::string outcome;  // the refusal, or "<domain>|<unit>" as the plug-in receives and the record holds them
};

class CredentialsJoin : public MembershipSandbox, public ::testing::WithParamInterface<JoinCase> {
protected:
    std::function<void()> Join(bool skipHostNameCheck = true)
    {
        return [=] { store->JoinDomain("corp.example/Servers", credentials, skipHostNameCheck); };
    }

    Credentials credentials{"administrator", "secret"};
};

TEST_P(CredentialsJoin, ChecksCredentialsFirstThenSplitsAtFirstSlashAndRecordsBothParts)
{
    const JoinCase& c = GetParam();
    Credentials given{c.userName, c.password};
    const std::string::size_type bar = c.outcome.find('|');
    if (bar == std::string::npos) {
        ExpectRefused([&] { store->JoinDomain(c.argument, given, false); }, typeid(InvalidCredentialsException),
                      "The credentials that were provided were invalid: " + c.outcome);
        EXPECT_EQ(0u, plugin.Calls(SCRIPTABLE_SLOT_JOIN_DOMAIN));
        return;
    }
    store->JoinDomain(c.argument, given, true);
    ScriptablePluginControl seen = plugin.Read();
    EXPECT_EQ(static_cast<const void*>(&given), seen.credentials);
    const std::string domain = c.outcome.substr(0, bar), unit = c.outcome.substr(bar + 1);
    EXPECT_EQ("JoinDomain(" + domain + ", " + unit + ", " + c.userName + ":" + c.password + ")\n", seen.log);
    Record expected{{"domain_name", domain}, {"auth_proxy_address", ""}};
    if (unit != "(null)") {
        expected["organizational_unit"] = unit;
    }
    EXPECT_EQ(expected, DomainRecord());
}

INSTANTIATE_TEST_SUITE_P(Arguments, CredentialsJoin,
                         ::testing::Values(JoinCase{"corp.example", nullptr, "secret", "no username was specified"},
                                           JoinCase{"corp.example", "administrator", nullptr, NO_PASSWORD},
                                           JoinCase{"corp.example", "administrator", "", NO_PASSWORD},
                                           JoinCase{"corp.example/Servers/Hosts", "administrator", "secret",
                                                    "corp.example|Servers/Hosts"},
                                           // The directory, not the library, judges a blank password and an empty user.
                                           JoinCase{"corp.example/", "administrator", " ", "corp.example|(null)"},
                                           JoinCase{"/Servers", "", "secret", "|Servers"}));

TEST_F(CredentialsJoin, DisabledConfigStoreIsNeitherWrittenNorCleared)
{
    BreakStore();
    for (unsigned feature : {1u, 57u}) {
        Settings::SetFeature(1, true);
        Settings::SetFeature(57, true);
        Settings::SetFeature(feature, false);
        Join()();
        store->PartDomain();
    }
    EXPECT_EQ(2u, plugin.Calls(SCRIPTABLE_SLOT_PART_DOMAIN));
    EXPECT_TRUE(LoggedLines().empty());
}

TEST_F(CredentialsJoin, UnstorableRecordUndoesJoinAndRethrows)
{
    InstallFailingStore();
    ExpectRefused(Join(), typeid(QelConfigStore::ConfigStoreException), "database is locked");
    EXPECT_EQ(OneLine(LOG_ERR, "Failed to store domain details to Config Store: database is locked.Leaving Domain..."),
              LoggedLines());
    EXPECT_EQ(nullptr, plugin.Read().credentials);
    EXPECT_TRUE(DomainRecord().empty());
    // A failing leave replaces the store's exception.
    plugin->status[SCRIPTABLE_SLOT_PART_DOMAIN] = NO_SUCH_DOMAIN;
    EXPECT_THROW(Join()(), NoSuchDomainException);
    // A store that cannot be opened at all is undone too.
    plugin->status[SCRIPTABLE_SLOT_PART_DOMAIN] = 0;
    Settings::InstallConfigStore(QelConfigStore::sGlobalNamespace, nullptr);
    BreakStore();
    EXPECT_THROW(Join()(), QelConfigStore::ConfigStoreException);
    EXPECT_EQ(3u, plugin.Calls(SCRIPTABLE_SLOT_PART_DOMAIN));
    EXPECT_EQ(3u, LoggedLines().size());
}

TEST_F(CredentialsJoin, LeaveRemovesTheDomainRecordOnlyOnceTheHostHasLeft)
{
    ActiveDirectoryConfigStore records;
    records.StoreAuthProxyCertInfo("0A:FF", "PEM");
    Join()();
    EXPECT_EQ("corp.example|Servers|", records.GetDomainName() + "|" + records.GetOrganizationalUnit() + "|" +
                                           records.GetAuthProxyAddr());
    Credentials empty{nullptr, nullptr};
    store->PartDomain(empty);  // passed through, whatever it holds; the record stays
    EXPECT_EQ(static_cast<const void*>(&empty), plugin.Read().credentials);
    plugin->status[SCRIPTABLE_SLOT_PART_DOMAIN] = NO_SUCH_DOMAIN;
    EXPECT_THROW(store->PartDomain(), NoSuchDomainException);
    plugin->status[SCRIPTABLE_SLOT_PART_DOMAIN] = 0;
    InstallFailingStore();
    EXPECT_THROW(store->PartDomain(), QelConfigStore::ConfigStoreException);
    EXPECT_EQ(OneLine(LOG_ERR, "Failed to remove domain details from Config Store: disk I/O error"), LoggedLines());
    EXPECT_FALSE(DomainRecord().empty());

    Settings::InstallConfigStore(QelConfigStore::sGlobalNamespace, nullptr);
    store->PartDomain();
    EXPECT_EQ(nullptr, plugin.Read().credentials);
    EXPECT_EQ(4u, plugin.Calls(SCRIPTABLE_SLOT_PART_DOMAIN));
    EXPECT_TRUE(DomainRecord().empty());
    ExpectRefused([&] { records.GetDomainName(); }, typeid(ConfigurationError), "Failed to get the requested object");
    EXPECT_EQ("0A:FF|PEM", records.GetThumbprint() + "|" + records.GetCertificate());
}

// A join or leave killed between the plug-in and the record: the next one
// completes the record, for the same domain only.
TEST_F(CredentialsJoin, InterruptedJoinOrLeaveIsCompletedByTheNextOne)
{
    plugin->status[SCRIPTABLE_SLOT_JOIN_DOMAIN] = 2691;
    plugin->answer[SCRIPTABLE_SLOT_GET_ACTIVE_DOMAIN] = "other.example/OTHER";
    EXPECT_THROW(Join()(), SetupAlreadyJoinedException);
    EXPECT_TRUE(DomainRecord().empty());
    plugin->answer[SCRIPTABLE_SLOT_GET_ACTIVE_DOMAIN] = "CORP.example/CORP";
    Join()();
    EXPECT_EQ((Record{{"domain_name", "corp.example"}, {"organizational_unit", "Servers"}, {"auth_proxy_address", ""}}),
              DomainRecord());
    EXPECT_THROW(Join()(), SetupAlreadyJoinedException);  // recorded: a real refusal

    plugin->status[SCRIPTABLE_SLOT_PART_DOMAIN] = 2;
    store->PartDomain();
    EXPECT_TRUE(DomainRecord().empty());
    EXPECT_THROW(store->PartDomain(), FileNotFoundException);
    EXPECT_EQ(2u, LoggedLines().size());
}

// A unit the plug-in could not read is refused before anything happens; a
// plug-in that refuses the join as already joined keeps its refusal even
// when it cannot name its domain.
TEST_F(CredentialsJoin, RefusalsNameTheirCause)
{
    ExpectRefused([&] { store->JoinDomain("corp.example/Servers/", credentials, false); },
                  typeid(InvalidParameterException),
                  "Exception 0x00000057: The organizational unit 'Servers/' ends with a '/': write it as a path from "
                  "the domain's top (Servers/Hypervisors) or as a DN (OU=Hypervisors,OU=Servers)");
    EXPECT_EQ(0u, plugin.Calls(SCRIPTABLE_SLOT_JOIN_DOMAIN));
    plugin->status[SCRIPTABLE_SLOT_JOIN_DOMAIN] = 2691;
    plugin->status[SCRIPTABLE_SLOT_GET_ACTIVE_DOMAIN] = 2;
    EXPECT_THROW(Join()(), SetupAlreadyJoinedException);
    EXPECT_TRUE(DomainRecord().empty());
}

TEST_F(CredentialsJoin, FailedJoinPutsBackTheHostFilesTheCheckEditedUnlessOthersChangedThem)
{
    SetHostInOtherDomain();
    chmod(HostsPath().c_str(), 0600);
    plugin->status[SCRIPTABLE_SLOT_JOIN_DOMAIN] = NO_SUCH_DOMAIN;
    EXPECT_THROW(Join(false)(), NoSuchDomainException);
    ExpectHostFilesUnchanged();
    EXPECT_EQ(0600u, orvauth_test::FileMode(HostsPath()));

    plugin->status[SCRIPTABLE_SLOT_JOIN_DOMAIN] = 0;
    InstallFailingStore().meanwhile = [this] { orvauth_test::WriteFile(HostsPath(), "192.0.2.99\tother\n"); };
    EXPECT_THROW(Join(false)(), QelConfigStore::ConfigStoreException);
    EXPECT_EQ("192.0.2.99\tother\n|" + std::string(RESOLV_CONF_BEFORE),
              ReadFile(HostsPath()) + "|" + ReadFile(ResolvConfPath()));
    EXPECT_EQ(orvauth_test::LogLine({LOG_WARNING, "Not restoring " + HostsPath() +
                                                      " after the failed join: it was changed by something else "
                                                      "meanwhile"}),
              LoggedLines().back());

    orvauth_test::WriteFile(HostsPath(), HOSTS_BEFORE);
    Settings::InstallConfigStore(QelConfigStore::sGlobalNamespace, nullptr);
    Join(false)();
    EXPECT_EQ(HostsWith("node01.other.example", "node01") + "|" + RESOLV_CONF_EDITED,
              ReadFile(HostsPath()) + "|" + ReadFile(ResolvConfPath()));
}

}  // namespace
}  // namespace membership_test
