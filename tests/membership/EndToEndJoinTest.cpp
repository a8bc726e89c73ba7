// A whole join and leave against the test plug-in, the real configuration
// store database and the sandboxed hosts file and resolv.conf.
#include "MembershipSandbox.h"

#include "common/SleepRecorder.h"

#include <orvane/authentication/ActiveDirectoryConfigStore.h>

#include <syslog.h>

namespace membership_test {
namespace {

using orvane::authentication::ActiveDirectoryConfigStore;
using orvauth_test::LoggedLines;
using orvauth_test::ReadFile;
using EndToEndJoinTest = MembershipSandbox;

TEST_F(EndToEndJoinTest, JoinPreparesHostRecordsMembershipAndLeaveClearsIt)
{
    SetHost("node01", "node01.other.example");
    Resolver().resolvableDomains.insert("corp.example");
    // The directory is busy at first: the join is retried after a pause.
    plugin->firstStatus[SCRIPTABLE_SLOT_JOIN_DOMAIN] = 1326;
    plugin->firstCalls[SCRIPTABLE_SLOT_JOIN_DOMAIN] = 1;
    ActiveDirectoryConfigStore().StoreAuthProxyCertInfo("AB:CD", "-----BEGIN CERTIFICATE-----");
    Credentials credentials{"CORP\\joiner", "pa ss"};

    store->JoinDomain("corp.example/OU=Servers,DC=corp/Hosts", credentials, false);

    EXPECT_EQ(HostsWith("node01.other.example", "node01"), ReadFile(HostsPath()));
    EXPECT_EQ("nameserver 192.0.2.53\nsearch lab.example corp.example\n", ReadFile(ResolvConfPath()));
    // The one log line, which carries no password.
    EXPECT_EQ(OneLine(LOG_WARNING, "The fully qualified hostname node01.other.example does not match the expected "
                                   "value node01.corp.example\n"),
              LoggedLines());
    ScriptablePluginControl seen = plugin.Read();
    EXPECT_EQ(2u, seen.calls[SCRIPTABLE_SLOT_JOIN_DOMAIN]);
    EXPECT_EQ(std::vector<unsigned>{30}, orvauth_test::SleepCalls());
    EXPECT_NE(std::string::npos,
              std::string(seen.log).find("JoinDomain(corp.example, OU=Servers,DC=corp/Hosts, CORP\\joiner:pa ss)\n"));
    EXPECT_EQ(static_cast<const void*>(&credentials), seen.credentials);
    EXPECT_EQ(Record({{"domain_name", "corp.example"},
                      {"organizational_unit", "OU=Servers,DC=corp/Hosts"},
                      {"auth_proxy_address", ""}}),
              DomainRecord());

    store->PartDomain();
    EXPECT_EQ(1u, plugin.Read().calls[SCRIPTABLE_SLOT_PART_DOMAIN]);
    EXPECT_TRUE(DomainRecord().empty());
    EXPECT_EQ("AB:CD", ActiveDirectoryConfigStore().GetThumbprint());
    EXPECT_EQ(1u, LoggedLines().size());
}

}  // namespace
}  // namespace membership_test
