// Host-name validation before a join: which names pass, what is refused
// and in which order, and what each call leaves in the hosts file, the DNS
// search list and the log.
#include "MembershipSandbox.h"

#include "common/SyslogRecorder.h"

#include <orvane/authentication/Exceptions.h>

#include <platform/PlatformSettings.h>
#include <platform/ZodCtl.h>

#include <netdb.h>
#include <syslog.h>

namespace membership_test {
namespace {

using orvane::authentication::InvalidHostNameException;
using orvauth_test::LoggedLines;
using orvauth_test::LogLine;
using orvauth_test::ReadFile;

const std::string RESOLV_CONF_WITH_CORP = "nameserver 192.0.2.53\nsearch lab.example corp.example\n";

std::vector<LogLine> MismatchWarning(const std::string& resolved, const std::string& expected)
{
    return OneLine(LOG_WARNING,
                   "The fully qualified hostname " + resolved + " does not match the expected value " + expected + "\n");
}

std::string HostNameRefusal(const std::string& reason) { return "The current hostname is invalid: " + reason; }

class HostnameValidationTest : public MembershipSandbox {
protected:
    void ExpectRefusal(const std::string& domain, const std::string& reason)
    {
        try {
            store->SanitiseHostnameForDomain(domain);
            ADD_FAILURE() << "accepted, expected refusal: " << reason;
        } catch (const InvalidHostNameException& error) {
            EXPECT_EQ(HostNameRefusal(reason), error.what());
        }
    }
};

struct AcceptedName {
    const char* hostName;
    const char* resolvedName;
    bool domainResolves;
    // Outcome
    const char* hostsName;  // name written for the management address
    const char* shortName;  // its one alias
    bool warned;
    bool searchDomainAdded;
};

void PrintTo(const AcceptedName& c, std::ostream* out) { *out << c.hostName << " -> " << c.resolvedName; }

class AcceptedNameTest : public HostnameValidationTest, public ::testing::WithParamInterface<AcceptedName> {};

TEST_P(AcceptedNameTest, WritesHostsEntryAndWarnsOnlyAboutUnexpectedName)
{
    const AcceptedName& c = GetParam();
    SetHostName(c.hostName);
    SetResolution(c.hostName, c.resolvedName);
    if (c.domainResolves) {
        SetDomainResolvable("corp.example");
    }

    store->SanitiseHostnameForDomain("corp.example");

    EXPECT_EQ(std::vector<std::string>{c.hostName}, ReentrantLookups());
    EXPECT_EQ(HostsWith(c.hostsName, c.shortName), ReadFile(HostsPath()));
    if (c.warned) {
        EXPECT_EQ(MismatchWarning(c.resolvedName, std::string(c.shortName) + ".corp.example"),
                  LoggedLines());
        EXPECT_EQ(std::vector<std::string>{"corp.example"}, DomainLookups());
    } else {
        EXPECT_TRUE(LoggedLines().empty());
        EXPECT_TRUE(DomainLookups().empty());
    }
    EXPECT_EQ(c.searchDomainAdded ? RESOLV_CONF_WITH_CORP : RESOLV_CONF_BEFORE, ReadFile(ResolvConfPath()));
}

INSTANTIATE_TEST_SUITE_P(
    Names, AcceptedNameTest,
    ::testing::Values(
        // The ordinary case: nothing to warn about, nothing to add.
        AcceptedName{"node01", "node01.corp.example", true, "node01.corp.example", "node01", false, false},
        // A dotted host name is resolved whole; its first label is the short name.
        AcceptedName{"node01.corp.example", "node01.corp.example", true, "node01.corp.example", "node01", false, false},
        // The fully qualified comparison ignores case; the resolver's spelling is kept.
        AcceptedName{"NODE01", "NODE01.Corp.Example", true, "NODE01.Corp.Example", "NODE01", false, false},
        // A bare resolved name stands for the expected one.
        AcceptedName{"node01", "node01", true, "node01.corp.example", "node01", false, false},
        // Another domain: warned, the domain joins the search list, the resolver's name is written.
        AcceptedName{"node01", "node01.other.example", true, "node01.other.example", "node01", true, true},
        // ... but only a domain that resolves joins the search list.
        AcceptedName{"node01", "node01.other.example", false, "node01.other.example", "node01", true, false},
        // The blacklist is case-sensitive.
        AcceptedName{"Linux", "Linux.corp.example", false, "Linux.corp.example", "Linux", false, false},
        AcceptedName{"localhost2", "localhost2.corp.example", false, "localhost2.corp.example", "localhost2", false,
                     false}));

struct RefusedName {
    const char* hostName;
    const char* resolvedName;  // null: the resolver does not know the name
    const char* reason;
    bool warned;  // the mismatch warning comes before the blacklist refusal
};

void PrintTo(const RefusedName& c, std::ostream* out)
{
    *out << c.hostName << " -> " << (c.resolvedName ? c.resolvedName : "(unknown)");
}

class RefusedNameTest : public HostnameValidationTest, public ::testing::WithParamInterface<RefusedName> {};

TEST_P(RefusedNameTest, RefusesWithReasonAndLeavesHostsFileAlone)
{
    const RefusedName& c = GetParam();
    SetHostName(c.hostName);
    if (c.resolvedName != nullptr) {
        SetResolution(c.hostName, c.resolvedName);
    }

    ExpectRefusal("corp.example", c.reason);

    EXPECT_EQ(HOSTS_BEFORE, ReadFile(HostsPath()));
    EXPECT_EQ(RESOLV_CONF_BEFORE, ReadFile(ResolvConfPath()));  // the domain does not resolve here
    EXPECT_EQ(c.warned ? 1u : 0u, LoggedLines().size());
}

INSTANTIATE_TEST_SUITE_P(
    Names, RefusedNameTest,
    ::testing::Values(
        RefusedName{"node01", nullptr, "hostname cannot be resolved", false},
        // The short names must match exactly, case included.
        RefusedName{"node01", "web01.corp.example", "shortname does not match FQDN", false},
        RefusedName{"node01", "Node01.corp.example", "shortname does not match FQDN", false},
        RefusedName{"node01.corp.example", "node02.corp.example", "shortname does not match FQDN", false},
        // Blacklisted names, refused after the comparison of full names.
        RefusedName{"localhost", "localhost.localdomain", "hostname is in blacklist", true},
        RefusedName{"linux", "linux.corp.example", "hostname is in blacklist", false},
        RefusedName{"hostname", "hostname", "hostname is in blacklist", false},
        // Order: resolution and the short-name check come before the blacklist.
        RefusedName{"localhost", nullptr, "hostname cannot be resolved", false},
        RefusedName{"localhost", "node01.corp.example", "shortname does not match FQDN", false}));

TEST_F(HostnameValidationTest, BlacklistedNameStillChangesSearchListBeforeRefusal)
{
    SetHostName("localhost");
    SetResolution("localhost", "localhost.localdomain");
    SetDomainResolvable("corp.example");

    ExpectRefusal("corp.example", "hostname is in blacklist");

    EXPECT_EQ(MismatchWarning("localhost.localdomain", "localhost.corp.example"), LoggedLines());
    EXPECT_EQ(RESOLV_CONF_WITH_CORP, ReadFile(ResolvConfPath()));
    EXPECT_EQ(HOSTS_BEFORE, ReadFile(HostsPath()));
}

TEST_F(HostnameValidationTest, HostNameThatCannotBeReadIsRefused)
{
    FailGetHostName();
    ExpectRefusal("corp.example", "unable to get hostname");
    EXPECT_TRUE(ReentrantLookups().empty());
    ExpectHostFilesUnchanged();
}

TEST_F(HostnameValidationTest, ResolverErrorIsReportedWithItsOwnText)
{
    SetHostName("node01");
    SetResolverFailure("node01", TRY_AGAIN);
    ExpectRefusal("corp.example", hstrerror(TRY_AGAIN));
    ExpectHostFilesUnchanged();
}

TEST_F(HostnameValidationTest, HostNamesUpToSixtyThreeCharactersAreReadWhole)
{
    // 63 characters and the NUL fill the 64 bytes the system is given.
    const std::string longest = std::string(54, 'n') + ".corp.exa";
    ASSERT_EQ(63u, longest.size());
    SetHostName(longest);
    SetResolution(longest, longest);
    store->SanitiseHostnameForDomain("corp.example");
    EXPECT_EQ(std::vector<std::string>{longest}, ReentrantLookups());

    const std::string tooLong = longest + "m";
    SetHostName(tooLong);
    SetResolution(tooLong, tooLong);
    ExpectRefusal("corp.example", "unable to get hostname");
    EXPECT_EQ(1u, ReentrantLookups().size());
}

TEST_F(HostnameValidationTest, PlatformFailuresReachCallerUnchanged)
{
    SetHostName("node01");
    SetResolution("node01", "node01.corp.example");
    OrvPlatform::Settings::SetManagementInterface("nosuchif0");

    EXPECT_THROW(store->SanitiseHostnameForDomain("corp.example"), ZodCtl::Network::NetworkConfigException);
    EXPECT_EQ(HOSTS_BEFORE, ReadFile(HostsPath()));
}

}  // namespace
}  // namespace membership_test
