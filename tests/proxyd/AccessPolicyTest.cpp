// The service's rules as tables: whose certificate may have which name,
// which DNs lie in which container, which accounts the service may reset,
// and how many account requests a certificate may make.
#include "AccessPolicy.h"
#include "RateLimiter.h"

#include <gtest/gtest.h>

using namespace orvauth_proxyd;

TEST(AccessPolicy, HostNameMustBeTheCertificatesIgnoringCase)
{
    const struct {
        const char* requested;
        const char* certified;
        bool matches;
    } cases[] = {
        {"node01.corp.example.test", "node01.corp.example.test", true},
        {"NODE01.Corp.Example.Test", "node01.corp.example.test", true},
        {"node01", "node01.corp.example.test", false},
        {"node01.corp.example.test", "node01", false},
        {"victim.corp.example.test", "node01.corp.example.test", false},
        {"node01.corp.example.test.", "node01.corp.example.test", false},
        {"", "", false},
        {"node01", "", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.matches, HostNameMatchesCertificate(c.requested, c.certified)) << c.requested << " / " << c.certified;
    }
}

TEST(AccessPolicy, ContainmentComparesParsedDistinguishedNames)
{
    const std::string computers = "CN=Computers,DC=corp,DC=example,DC=test";
    const struct {
        std::string dn;
        bool same, directly;
    } cases[] = {
        {computers, true, false},
        {"cn=computers, dc=CORP,dc=example,DC=test", true, false},
        {"CN=NODE01,CN=Computers,DC=corp,DC=example,DC=test", false, true},
        {"CN=NODE01,OU=Deeper,CN=Computers,DC=corp,DC=example,DC=test", false, false},
        {"CN=NODE01,CN=Computers\\,DC=corp,DC=example,DC=test", false, false},
        {"CN=NODE01,CN=Computers,DC=corp,DC=example,DC=test,DC=evil", false, false},
        {"CN=NODE01,OU=Domain Controllers,DC=corp,DC=example,DC=test", false, false},
        {"CN=NODE01,CN=Users,DC=corp,DC=example,DC=test", false, false},
        {"CN=Computers,DC=corp,DC=example", false, false},
        {"not a DN", false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.dn);
        EXPECT_EQ(c.same, SameDN(c.dn, computers));
        EXPECT_EQ(c.directly, IsDirectlyInAny(c.dn, {"OU=Other,DC=corp,DC=example,DC=test", computers}));
    }
}

TEST(AccessPolicy, OnlyPlainWorkstationAccountsAreReset)
{
    const struct {
        unsigned long flags;
        bool plain;
    } cases[] = {
        {0x1000, true},
        {0x1000 | 0x2, true},                // disabled
        {0x1000 | 0x10000, true},            // password never expires
        {0x1000 | 0x80000, false},           // trusted for delegation
        {0x1000 | 0x1000000, false},         // trusted to authenticate for delegation
        {0x04000000 | 0x1000, false},        // read-only DC
        {0x2000, false},                     // a DC
        {0x2000 | 0x1000, false},
        {0x200, false},                      // a user
        {0x800, false},                      // an interdomain trust
        {0, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.plain, IsPlainWorkstationAccount(c.flags)) << std::hex << c.flags;
    }
    for (const char* name : {"KRBTGT", "krbtgt", "Administrator", "GUEST"}) {
        EXPECT_TRUE(IsReservedComputerName(name)) << name;
    }
    for (const char* name : {"NODE01", "KRBTGT1", "ADMIN"}) {
        EXPECT_FALSE(IsReservedComputerName(name)) << name;
    }
}

// Two hosts whose names give one computer name (NODE05$) never reset each
// other's account: the mark names the host it was made for.
TEST(AccessPolicy, AnAccountIsResetOnlyForTheHostItsMarkNames)
{
    const std::string mine = ManagedMarker("Node05.AD.example.test");
    const struct {
        std::vector<std::string> marks;
        const char* host;
        bool resettable;
    } cases[] = {
        {{mine}, "node05.ad.example.test", true},
        {{mine}, "NODE05.ad.EXAMPLE.test", true},
        {{mine}, "node05.branch.example.test", false},
        {{mine}, "node05", false},
        {{ManagedMarker("node05")}, "node05.ad.example.test", false},
        {{"orvauth-proxyd: machine account of a host enrolled by certificate"}, "node05.ad.example.test", false},
        {{mine, mine}, "node05.ad.example.test", false},
        {{mine + " "}, "node05.ad.example.test", false},
        {{}, "node05.ad.example.test", false},
        {{ManagedMarker("")}, "", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.resettable, IsMarkedForHost(c.marks, c.host)) << c.host << " / " << c.marks.size();
    }
}

TEST(AccessPolicy, RateLimitCountsPerCertificateOverAMinute)
{
    RateLimiter limiter(3);
    const auto start = RateLimiter::Clock::now();
    const auto at = [&](int seconds) { return start + std::chrono::seconds(seconds); };
    const struct {
        const char* key;
        int second;
        bool admitted;
    } steps[] = {
        {"a", 0, true}, {"a", 10, true}, {"a", 20, true}, {"a", 30, false}, {"b", 30, true},
        {"a", 59, false}, {"a", 60, true}, {"a", 61, false}, {"a", 70, true}, {"b", 200, true},
    };
    for (const auto& step : steps) {
        EXPECT_EQ(step.admitted, limiter.Admit(step.key, at(step.second))) << step.key << " at " << step.second;
    }
}
