// Host-name validation before a join: which names pass, what is refused and
// in which order, and what each call leaves in the hosts file, the DNS
// search list and the log.
#include "MembershipSandbox.h"

#include <orvane/authentication/Exceptions.h>

#include <netdb.h>
#include <syslog.h>

namespace membership_test {
namespace {

using orvane::authentication::InvalidHostNameException;

// With its NUL, exactly the 64 bytes gethostname is given.
const std::string LONGEST_NAME = std::string(54, 'n') + ".corp.exa";

struct NameCase {
    std::string hostName, resolvedName;  // resolvedName empty: not found
    bool domainResolves;
    std::string outcome;  // the name written for the management address, or the refusal (with blanks)
    bool warned, searchDomainAdded;
    int resolverError = 0;  // non-zero: the resolver fails with this code
};

void PrintTo(const NameCase& c, std::ostream* out) { *out << "'" << c.hostName << "' -> '" << c.resolvedName << "'"; }

class HostnameValidationTest : public MembershipSandbox, public ::testing::WithParamInterface<NameCase> {};

TEST_P(HostnameValidationTest, AcceptsOrRefusesAndChangesOnlyWhatItShould)
{
    const NameCase& c = GetParam();
    const std::string shortName = c.hostName.substr(0, c.hostName.find('.'));
    const bool accepted = c.outcome.find(' ') == std::string::npos;
    SetHost(c.hostName, c.resolvedName);
    if (c.resolvedName.empty()) {
        Resolver().resolutions.clear();
    }
    if (c.resolverError != 0) {
        Resolver().resolverFailures[c.hostName] = c.resolverError;
    }
    if (c.domainResolves) {
        Resolver().resolvableDomains.insert("corp.example");
    }
    if (accepted) {
        store->SanitiseHostnameForDomain("corp.example");
    } else {
        ExpectRefused([&] { store->SanitiseHostnameForDomain("corp.example"); }, typeid(InvalidHostNameException),
                      "The current hostname is invalid: " + c.outcome);
    }
    EXPECT_EQ(accepted ? HostsWith(c.outcome, shortName) : HOSTS_BEFORE, ReadFile(HostsPath()));
    EXPECT_EQ(c.warned ? OneLine(LOG_WARNING, "The fully qualified hostname " + c.resolvedName +
                                                  " does not match the expected value " + shortName + ".corp.example\n")
                       : std::vector<orvauth_test::LogLine>{},
              LoggedLines());
    EXPECT_EQ(c.searchDomainAdded ? RESOLV_CONF_EDITED : RESOLV_CONF_BEFORE, ReadFile(ResolvConfPath()));
}

INSTANTIATE_TEST_SUITE_P(
    Names, HostnameValidationTest,
    ::testing::Values(
        // A dotted host name is resolved whole; its first label is the short name.
        NameCase{"node01.corp.example", "node01.corp.example", true, "node01.corp.example", false, false},
        // The full names compare without regard to case; the resolver's spelling is kept.
        NameCase{"NODE01", "NODE01.Corp.Example", true, "NODE01.Corp.Example", false, false},
        // A bare resolved name stands for the expected one.
        NameCase{"node01", "node01", true, "node01.corp.example", false, false},
        // Another domain: a warning, and the domain joins the search list only if it resolves.
        NameCase{"node01", "node01.other.example", true, "node01.other.example", true, true},
        // The blacklist is exact and case-sensitive.
        NameCase{"Linux", "Linux.other.example", false, "Linux.other.example", true, false},
        NameCase{LONGEST_NAME, LONGEST_NAME, false, LONGEST_NAME, true, false},
        NameCase{LONGEST_NAME + "m", LONGEST_NAME + "m", true, "unable to get hostname", false, false},
        NameCase{"node01", "", true, "hostname cannot be resolved", false, false},
        NameCase{"node01", "", true, hstrerror(TRY_AGAIN), false, false, TRY_AGAIN},
        // The short names must match exactly, case included.
        NameCase{"node01", "Node01.corp.example", true, "shortname does not match FQDN", false, false},
        // The blacklist comes last: after the warning and the search-list change.
        NameCase{"localhost", "localhost.localdomain", true, "hostname is in blacklist", true, true}));

using HostnameValidationEdges = MembershipSandbox;

TEST_F(HostnameValidationEdges, ControlCharactersInLoggedNamesAreEscaped)
{
    SetHost("node01", "node01.other.example");
    store->SanitiseHostnameForDomain("corp.example\nforged line\x7f");
    EXPECT_EQ(OneLine(LOG_WARNING, "The fully qualified hostname node01.other.example does not match the expected "
                                   "value node01.corp.example\\x0aforged line\\x7f\n"),
              LoggedLines());
}

}  // namespace
}  // namespace membership_test
