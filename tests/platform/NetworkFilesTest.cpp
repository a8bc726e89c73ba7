// The hosts file and resolv.conf: each rewrite keeps what it does not own
// and the file's mode, and leaves no temporary file. Both are written by
// the shared file replacement, whose link handling SssdConfigTest and
// AtomicFileStreamTest check.
#include "PlatformFixture.h"

#include <platform/ZodCtl.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace orvauth_test;
using namespace ZodCtl::Network;
using Names = std::vector<std::string>;

namespace {

class NetworkFilesTest : public PlatformTest {
protected:
    void SetUp() override
    {
        PlatformTest::SetUp();
        OrvPlatform::Settings::SetHostsFilePath(path);
        OrvPlatform::Settings::SetResolvConfPath(path);
    }

    const std::string path = dir.File("file");
};

// The entry for 10.0.0.5 named node01.corp.example with alias node01.
TEST_F(NetworkFilesTest, TheHostsNamesLeadToItsAddressAloneAndOtherNamesStay)
{
    const char* const lastAfter = "127.0.0.1 localhost\n10.0.0.5\tnode01.corp.example node01\n";
    const std::pair<const char*, const char*> cases[] = {
        {"# static table\n127.0.0.1\tlocalhost\n\n10.0.0.5 old.corp.example old   # set by hand\n"
         "  # 10.0.0.5 commented.example\n10.0.0.50 other.corp.example\n",
         "# static table\n127.0.0.1\tlocalhost\n\n10.0.0.5\tnode01.corp.example node01 old.corp.example old\n"
         "  # 10.0.0.5 commented.example\n10.0.0.50 other.corp.example\n"},
        // A distribution's own line for the host name goes; a line keeping
        // other names loses only the host's.
        {"127.0.0.1 localhost NODE01\n127.0.1.1 node01.corp.example node01\n",
         "127.0.0.1\tlocalhost\n10.0.0.5\tnode01.corp.example node01\n"},
        // Other names of the address stay; the host's line takes the place
        // of the address's first line.
        {"10.0.0.5 backup-vip # moves\n10.0.0.5 node01 stale.example\n::1 localhost\n",
         "10.0.0.5\tnode01.corp.example node01\n10.0.0.5 backup-vip # moves\n::1 localhost\n"},
        {"127.0.0.1 localhost", lastAfter},
    };
    // A lone line of the address keeps its names as aliases after the host's.
    for (const auto& c : cases) {
        WriteFile(path, c.first);
        ASSERT_EQ(chmod(path.c_str(), 0640), 0);
        HostsFile().AddOrReplaceEntry("10.0.0.5", "node01.corp.example", {"node01"});
        EXPECT_EQ(ReadFile(path), c.second) << c.first;
        EXPECT_EQ(FileMode(path), 0640u);
    }
    EXPECT_EQ(ListDirectory(dir.Path()), Names{"file"});
    EXPECT_THROW(HostsFile().AddOrReplaceEntry("10.0.0", "n.example", {}), NetworkConfigException);
    EXPECT_THROW(HostsFile().AddOrReplaceEntry("10.0.0.1", "two words", {}), NetworkConfigException);
    EXPECT_THROW(HostsFile().AddOrReplaceEntry("10.0.0.1", "n.example", {"a#b"}), NetworkConfigException);
    EXPECT_EQ(ReadFile(path), lastAfter);
    EXPECT_THROW(HostsFile(dir.File("gone/hosts")).AddOrReplaceEntry("10.0.0.1", "n", {}), NetworkConfigException);
    // IPv6 addresses match by value; a missing file is created.
    HostsFile(dir.File("new")).AddOrReplaceEntry("0:0::1", "six.example", {});
    HostsFile(dir.File("new")).AddOrReplaceEntry("::1", "six.example", {"six"});
    EXPECT_EQ(ReadFile(dir.File("new")), "::1\tsix.example six\n");
    EXPECT_EQ(FileMode(dir.File("new")), 0644u);
}

TEST_F(NetworkFilesTest, SaveAddsToTheLastSearchLineOnceAndKeepsEverythingElse)
{
    const struct {
        const char* before;  // nullptr: no file
        Names added;
        std::string after;
    } cases[] = {
        {"# generated\nnameserver 192.0.2.53\nsearch a.example\toffice.example\noptions ndots:2\n", {"corp.example"},
         "# generated\nnameserver 192.0.2.53\nsearch a.example office.example corp.example\noptions ndots:2\n"},
        {"search stale.example\nnameserver 192.0.2.53\ndomain local.example\n; note\n", {"corp.example"},
         "nameserver 192.0.2.53\ndomain local.example\nsearch local.example corp.example\n; note\n"},
        {"search one.example\nsearch two.example\n", {"corp.example"}, "search two.example corp.example\n"},
        {"nameserver 192.0.2.53\nsearch corp.example\n", {"CORP.example", "corp.example"},
         "nameserver 192.0.2.53\nsearch corp.example\n"},
        {nullptr, {"corp.example"}, "search corp.example\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.after);
        RemoveTree(path);
        struct stat before = {}, after = {};
        if (c.before != nullptr) {
            WriteFile(path, c.before);
            ASSERT_EQ(chmod(path.c_str(), 0604), 0);
            ASSERT_EQ(stat(path.c_str(), &before), 0);
        }
        DnsConfigImpl dns("defaultTcpipStack");
        for (const auto& domain : c.added)
            dns.AddSearchDomain(domain);
        dns.SaveConfig();
        EXPECT_EQ(ReadFile(path), c.after);
        EXPECT_EQ(FileMode(path), c.before ? 0604u : 0644u);
        ASSERT_EQ(stat(path.c_str(), &after), 0);
        EXPECT_EQ(before.st_ino == after.st_ino, c.before && c.before == c.after);  // nothing to add: not rewritten
    }
}

TEST_F(NetworkFilesTest, SaveKeepsChangesMadeByOthersMeanwhileAndRefusesBadDomains)
{
    WriteFile(path, "nameserver 192.0.2.53\n");
    DnsConfigImpl dns("defaultTcpipStack");
    dns.AddSearchDomain("corp.example");
    WriteFile(path, "nameserver 192.0.2.54\nsearch other.example\n");
    dns.SaveConfig();
    EXPECT_EQ(ReadFile(path), "nameserver 192.0.2.54\nsearch other.example corp.example\n");
    EXPECT_EQ(dns.GetSearchDomains(), (Names{"other.example", "corp.example"}));
    for (const std::string& domain : Names{"", "two words", "a#b", std::string(254, 'a')})
        EXPECT_THROW(dns.AddSearchDomain(domain), NetworkConfigException) << domain;
    EXPECT_THROW(DnsConfigImpl("otherStack"), NetworkConfigException);
}

}  // namespace
