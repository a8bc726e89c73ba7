#include "PlatformFixture.h"

#include <platform/ZodCtl.h>

#include <sys/stat.h>

using namespace orvauth_test;
using ZodCtl::Network::DnsConfigImpl;
using ZodCtl::Network::NetworkConfigException;
using Domains = std::vector<std::string>;

namespace {

class DnsConfigTest : public PlatformTest {
protected:
    void SetUp() override
    {
        PlatformTest::SetUp();
        OrvPlatform::Settings::SetResolvConfPath(path);
    }

    const std::string path = dir.File("resolv.conf");
};

TEST_F(DnsConfigTest, SaveAddsToTheLastSearchLineOnceAndKeepsEverythingElse)
{
    const struct {
        const char* before;  // nullptr: no file
        Domains added;
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
        for (const auto& domain : c.added) {
            dns.AddSearchDomain(domain);
        }
        dns.SaveConfig();
        EXPECT_EQ(ReadFile(path), c.after);
        EXPECT_EQ(FileMode(path), c.before ? 0604u : 0644u);
        ASSERT_EQ(stat(path.c_str(), &after), 0);
        // Nothing to add: the file is not rewritten at all.
        EXPECT_EQ(before.st_ino == after.st_ino, c.before != nullptr && c.before == c.after);
    }
}

TEST_F(DnsConfigTest, SaveKeepsChangesMadeByOthersMeanwhile)
{
    WriteFile(path, "nameserver 192.0.2.53\n");
    DnsConfigImpl dns("defaultTcpipStack");
    dns.AddSearchDomain("corp.example");
    WriteFile(path, "nameserver 192.0.2.54\nsearch other.example\n");
    dns.SaveConfig();
    EXPECT_EQ(ReadFile(path), "nameserver 192.0.2.54\nsearch other.example corp.example\n");
    EXPECT_EQ(dns.GetSearchDomains(), (Domains{"other.example", "corp.example"}));
}

TEST_F(DnsConfigTest, RefusesUnknownStacksAndBadDomains)
{
    EXPECT_THROW(DnsConfigImpl("otherStack"), NetworkConfigException);
    DnsConfigImpl dns("defaultTcpipStack");
    for (const std::string& domain : Domains{"", "two words", "a#b", std::string(254, 'a')}) {
        EXPECT_THROW(dns.AddSearchDomain(domain), NetworkConfigException) << domain;
    }
    EXPECT_TRUE(dns.GetSearchDomains().empty());
}

}  // namespace
