#include "PlatformFixture.h"

#include <platform/ZodCtl.h>

#include <sys/stat.h>

using namespace orvauth_test;
using ZodCtl::Network::DnsConfigImpl;
using ZodCtl::Network::NetworkConfigException;

namespace {

class DnsConfigTest : public PlatformTest {
protected:
    void SetUp() override
    {
        PlatformTest::SetUp();
        path = dir.File("resolv.conf");
        OrvPlatform::Settings::SetResolvConfPath(path);
    }

    void AddAndSave(const std::vector<std::string>& domains)
    {
        DnsConfigImpl dns("defaultTcpipStack");
        for (const auto& domain : domains) {
            dns.AddSearchDomain(domain);
        }
        dns.SaveConfig();
    }

    std::string path;
};

TEST_F(DnsConfigTest, AddsToTheSearchLineAndKeepsOtherLines)
{
    WriteFile(path, "# generated\nnameserver 192.0.2.53\nsearch a.example\toffice.example\noptions ndots:2\n");
    ASSERT_EQ(chmod(path.c_str(), 0604), 0);
    AddAndSave({"corp.example"});
    EXPECT_EQ(ReadFile(path),
              "# generated\nnameserver 192.0.2.53\nsearch a.example office.example corp.example\noptions ndots:2\n");
    EXPECT_EQ(FileMode(path), 0604u);
}

TEST_F(DnsConfigTest, NeverAddsADuplicate)
{
    const std::string original = "nameserver 192.0.2.53\nsearch corp.example\n";
    WriteFile(path, original);
    struct stat before, after;
    ASSERT_EQ(stat(path.c_str(), &before), 0);
    AddAndSave({"CORP.example", "corp.example"});
    ASSERT_EQ(stat(path.c_str(), &after), 0);
    EXPECT_EQ(ReadFile(path), original);
    EXPECT_EQ(before.st_ino, after.st_ino);  // not rewritten at all

    DnsConfigImpl dns("defaultTcpipStack");
    dns.AddSearchDomain("b.example");
    dns.AddSearchDomain("B.EXAMPLE");
    EXPECT_EQ(dns.GetSearchDomains(), (std::vector<std::string>{"corp.example", "b.example"}));
}

TEST_F(DnsConfigTest, TheLastSearchOrDomainLineIsTheOneThatCounts)
{
    WriteFile(path, "search stale.example\nnameserver 192.0.2.53\ndomain local.example\n; note\n");
    DnsConfigImpl dns("defaultTcpipStack");
    EXPECT_EQ(dns.GetSearchDomains(), (std::vector<std::string>{"local.example"}));
    dns.AddSearchDomain("corp.example");
    dns.SaveConfig();
    EXPECT_EQ(ReadFile(path),
              "nameserver 192.0.2.53\ndomain local.example\nsearch local.example corp.example\n; note\n");

    WriteFile(path, "search one.example\nsearch two.example\n");
    AddAndSave({"corp.example"});
    EXPECT_EQ(ReadFile(path), "search two.example corp.example\n");
}

TEST_F(DnsConfigTest, SaveKeepsChangesMadeByOthersMeanwhile)
{
    WriteFile(path, "nameserver 192.0.2.53\n");
    DnsConfigImpl dns("defaultTcpipStack");
    dns.AddSearchDomain("corp.example");
    WriteFile(path, "nameserver 192.0.2.54\nsearch other.example\n");
    dns.SaveConfig();
    EXPECT_EQ(ReadFile(path), "nameserver 192.0.2.54\nsearch other.example corp.example\n");
    EXPECT_EQ(dns.GetSearchDomains(), (std::vector<std::string>{"other.example", "corp.example"}));

    RemoveTree(path);
    AddAndSave({"corp.example"});
    EXPECT_EQ(ReadFile(path), "search corp.example\n");
}

TEST_F(DnsConfigTest, RefusesUnknownStacksAndBadDomains)
{
    EXPECT_THROW(DnsConfigImpl("otherStack"), NetworkConfigException);
    DnsConfigImpl dns("defaultTcpipStack");
    for (const char* domain : {"", "two words", "a#b", "semi;colon", "tab\there"}) {
        EXPECT_THROW(dns.AddSearchDomain(domain), NetworkConfigException) << domain;
    }
    EXPECT_THROW(dns.AddSearchDomain(std::string(254, 'a')), NetworkConfigException);
    EXPECT_TRUE(dns.GetSearchDomains().empty());
}

}  // namespace
