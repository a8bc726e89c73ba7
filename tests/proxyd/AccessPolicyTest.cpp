// The service's rules as tables: whose certificate may have which name,
// which names lie in the allowed domains, which DNs lie in which container,
// which accounts the service may reset, which accounts it may not run
// under, and how many account requests a certificate may make.
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

TEST(AccessPolicy, HostNamesMustLieUnderAnAllowedSuffix)
{
    const std::vector<std::string> allowed = {"ad.example.test", "lab.example"};
    const struct {
        const char* host;
        bool inside;
    } cases[] = {
        {"node31.ad.example.test", true}, {"NODE31.AD.Example.Test", true}, {"node31.rack2.lab.example", true},
        {"node31.lab.example", true},     {"node31", false},                {"ad.example.test", false},
        {"node31.example.test", false},   {"node31.bad.example.test", false}, {"node31.sub.ad.example.test", true},
        {"node31.ad.example.test.evil", false}, {"node31.lab.example.", false}, {".ad.example.test", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.inside, IsUnderDnsSuffix(c.host, allowed)) << c.host;
    }
    EXPECT_FALSE(IsUnderDnsSuffix("node31.ad.example.test", {}));
}

// Only an account the directory says the service owns, made for this very
// host, holding the password the service set (or the host's own change at
// its join) is reset. Two hosts whose names give one computer name
// (NODE01$) never reset each other's account: the mark names the host.
TEST(AccessPolicy, AnAccountIsResetOnlyWhenTheServiceOwnsItAndNobodyElseReKeyedIt)
{
    const std::string service = "S-1-5-21-1-2-3-1104", host = "node01.ad.example.test";
    const std::vector<std::string> allowed = {"CN=Computers,DC=ad,DC=example,DC=test"};
    const ExistingAccount mine{"CN=NODE01,CN=Computers,DC=ad,DC=example,DC=test", true, 0x1000,
                               {ManagedMarker("Node01.AD.example.test")}, {PasswordRecord("134411098949001040", "3")},
                               {host}, service, "134411098949001040", "3"};
    const auto with = [&](auto change) { ExistingAccount account = mine; change(account); return account; };
    const struct {
        ExistingAccount account;
        const char* refusal;  // what the reason names, "" for none
    } cases[] = {
        {mine, ""},
        {with([](ExistingAccount& a) { a.records.clear(); }), ""},  // made before records were kept
        {with([](ExistingAccount& a) { a.pwdLastSet = "134411098999001040"; a.keyVersion = "4"; }), ""},  // the join, 5 s on
        {with([](ExistingAccount& a) { a.ownerSid = "S-1-5-21-1-2-3-1105"; }), "is owned by S-1-5-21-1-2-3-1105"},
        {with([](ExistingAccount& a) { a.ownerSid = ""; }), "an owner the directory did not tell"},
        {with([](ExistingAccount& a) { a.ownerSid = "S-1-5-21-1-2-3-11040"; }), "is owned by"},
        {with([](ExistingAccount& a) { a.marks = {ManagedMarker("node01.branch.example.test")}; }), "was not created by"},
        {with([](ExistingAccount& a) { a.marks = {ManagedMarker("node01")}; }), "was not created by this service"},
        {with([](ExistingAccount& a) { a.marks = {"orvauth-proxyd: machine account of a host enrolled by certificate"}; }), "was not"},
        {with([](ExistingAccount& a) { a.marks.push_back(a.marks.front()); }), "was not created by this service"},
        {with([](ExistingAccount& a) { a.marks = {a.marks.front() + " "}; }), "was not created by this service"},
        {with([](ExistingAccount& a) { a.dnsHostNames = {"node01.lab.example"}; }), "has dNSHostName \"node01.lab.example\""},
        {with([](ExistingAccount& a) { a.pwdLastSet = "134411098999001040"; }),  // set again, same key version
         "by someone else; the service set it at 2026-"},
        {with([](ExistingAccount& a) { a.pwdLastSet = "134411098999001040"; a.keyVersion = "5"; }), "(key version 5) by someone"},
        {with([](ExistingAccount& a) { a.pwdLastSet = "134411104959001040"; a.keyVersion = "4"; }), "someone else"},  // 10 min 1 s on
        {with([](ExistingAccount& a) { a.records = {"orvauth-proxyd: password set at pwdLastSet x"}; }), "someone else"},
    };
    for (const auto& c : cases) {
        const auto refusal = ReasonNotToReset(c.account, host, service, allowed);
        EXPECT_EQ(*c.refusal == '\0', !refusal) << c.refusal;
        EXPECT_NE(std::string::npos, refusal.value_or("").find(c.refusal)) << refusal.value_or("");
    }
    EXPECT_TRUE(ReasonNotToReset(mine, host, "", allowed));
    EXPECT_TRUE(ReasonNotToReset(mine, "node01", service, allowed));
}

TEST(AccessPolicy, AdministratorsAndAccountOperatorsAreRefusedAsTheServicesAccount)
{
    const struct {
        std::vector<std::string> groups;
        const char* named;
    } cases[] = {
        {{"S-1-5-21-1-2-3-513", "S-1-5-32-545"}, ""},
        {{"S-1-5-21-1-2-3-513", "S-1-5-21-1-2-3-512"}, "Domain Admins (S-1-5-21-1-2-3-512)"},
        {{"S-1-5-21-9-8-7-519"}, "Enterprise Admins"},
        {{"S-1-5-32-544"}, "Administrators"},
        {{"S-1-5-32-548"}, "Account Operators"},
        {{"S-1-5-21-1-2-3-1512", "S-1-5-32-5440", "S-1-5-32-549"}, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(0u, PrivilegedGroup(c.groups).find(c.named)) << c.named;
        EXPECT_EQ(*c.named == '\0', PrivilegedGroup(c.groups).empty()) << c.named;
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
