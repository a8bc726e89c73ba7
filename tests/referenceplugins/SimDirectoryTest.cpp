// The simdirectory plug-in driven through the library's own provider
// wrapper: joins and leaves change the state file that later loads read,
// and every query answers from it.
#include "common/SleepRecorder.h"
#include "referenceplugins/PluginStateFiles.h"

#include <orvane/authentication/ActiveDirectoryProvider.h>
#include <orvane/authentication/Exceptions.h>

#include <sys/stat.h>

using namespace orvane::authentication;
using namespace orvauth_test;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

const char DOMAIN_STATE[] = "# The simulated domain.\n"
                            "domain = corp.example.test\n"
                            "netbios = CORP\n"
                            "sid = S-1-5-21-3623811015-3361044348-30300820\n"
                            "user = administrator:Secret#1\n"
                            "user = joiner:two words \n"
                            "controller = dc1.corp.example.test\n"
                            "controller = dc2.corp.example.test\n"
                            "controller = dc1.emea.corp.example.test\n"
                            "trusted_domain = emea.corp.example.test EMEA\n"
                            "trusted_domain = partner.example.org PARTNER 3\n"
                            "trust_state = 0x11\n";

const Credentials ADMINISTRATOR = {"administrator", "Secret#1"};
using Controllers = std::deque<std::string>;

class SimDirectory : public ::testing::Test {
protected:
    void SetUp() override
    {
        WriteFile(DirectoryStatePath(), DOMAIN_STATE);
        ClearSleepCalls();
    }

    std::string State() const { return ReadFile(DirectoryStatePath()); }
    void Join(const std::string& organizationalUnit = "") const
    {
        provider.JoinDomain("corp.example.test", organizationalUnit, ADMINISTRATOR);
    }
    static JORV::DirectoryDomainInfo ProxyDomain()
    {
        return {"", "CORP", "corp.example.test", "S-1-5-21-3623811015-3361044348-30300820"};
    }

    PluginFiles files{"simdirectory.state"};
    ActiveDirectoryProvider provider{"simdirectory"};
};

TEST_F(SimDirectory, JoinIsRecordedInTheStateFileForLaterLoads)
{
    ::chmod(DirectoryStatePath().c_str(), 0640);
    Join("Servers/Hypervisors");

    const std::string dn = "CN=" + LocalAccountName() + ",OU=Hypervisors,OU=Servers,DC=corp,DC=example,DC=test";
    const std::string state = State();
    EXPECT_EQ(0u, state.find("# The simulated domain.\n")) << state;
    EXPECT_THAT(state, HasSubstr("\njoined_domain = corp.example.test\n"));
    EXPECT_THAT(state, HasSubstr("\njoined_ou = Servers/Hypervisors\n"));
    EXPECT_THAT(state, HasSubstr("\nmachine_account_dn = " + dn + "\n"));
    EXPECT_THAT(state, HasSubstr("\nmachine_account = " + LocalAccountName() + "\n"));
    EXPECT_EQ(0640u, FileMode(DirectoryStatePath()));
    ExpectNoTemporaryStateFile();

    // A second load of the plug-in, as another process would make, reads
    // the membership back.
    ActiveDirectoryProvider later("simdirectory");
    EXPECT_EQ("corp.example.test", later.GetActiveDomain().dnsName);
    EXPECT_EQ("CORP", later.GetActiveDomain().netbiosName);
    EXPECT_EQ(dn, later.GetMachineAccountDN());
}

TEST_F(SimDirectory, JoinAcceptsEverySpellingOfDomainAndAccount)
{
    const struct {
        const char* domain;
        Credentials credentials;
    } cases[] = {
        {"corp.example.test", {"administrator", "Secret#1"}},
        {"CORP", {"Administrator", "Secret#1"}},
        {"Corp.Example.Test", {"corp\\administrator", "Secret#1"}},
        {"corp", {"administrator@CORP.EXAMPLE.TEST", "Secret#1"}},
        // The password runs to the end of its line, trailing blank included.
        {"corp.example.test", {"joiner", "two words "}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.domain) + " as " + c.credentials.userName);
        ASSERT_NO_THROW(provider.JoinDomain(c.domain, "", c.credentials));
        EXPECT_EQ("corp.example.test", provider.GetActiveDomain().dnsName);
        provider.PartDomain();
    }
}

TEST_F(SimDirectory, RefusedJoinsChangeNothingAndOnlyAWrongPasswordIsRetried)
{
    const struct {
        const char* what;
        const char* domain;
        const char* organizationalUnit;
        Credentials credentials;
        unsigned long status;
    } cases[] = {
        {"wrong password", "corp.example.test", "", {"administrator", "secret#1"}, 1326},
        {"unknown user", "corp.example.test", "", {"mallory", "Secret#1"}, 1317},
        {"empty user", "corp.example.test", "", {"", "Secret#1"}, 1317},
        {"account of another domain", "corp.example.test", "", {"EMEA\\administrator", "Secret#1"}, 1317},
        {"unknown domain", "other.example.test", "", ADMINISTRATOR, 1355},
        {"trusted, not own, domain", "emea.corp.example.test", "", ADMINISTRATOR, 1355},
        {"empty domain", "", "", ADMINISTRATOR, 1212},
        {"line break in the OU", "corp.example.test", "Servers\nuser = mallory:x", ADMINISTRATOR, 87},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ClearSleepCalls();
        EXPECT_EQ(c.status, StatusOf([&] { provider.JoinDomain(c.domain, c.organizationalUnit, c.credentials); }));
        EXPECT_EQ(c.status == 1326 ? std::vector<unsigned>(8, 30) : std::vector<unsigned>(), SleepCalls());
        EXPECT_EQ(DOMAIN_STATE, State());
    }
    EXPECT_THROW(provider.JoinDomain("corp.example.test", "", {"administrator", "x"}), LogonFailureException);
    EXPECT_THROW(provider.JoinDomain("nowhere.test", "", ADMINISTRATOR), NoSuchDomainException);
    EXPECT_TRUE(provider.GetActiveDomain().dnsName.empty());
}

TEST_F(SimDirectory, AJoinedHostCannotJoinAgainAndOnlyACredentialedLeaveDeletesTheAccount)
{
    EXPECT_THROW(provider.PartDomain(), FileNotFoundException);
    Join("OU=Hosts");
    const std::string joined = State();
    EXPECT_THROW(Join(), SetupAlreadyJoinedException);
    EXPECT_THROW(provider.JoinDomainWithMachineAccount(ProxyDomain(), {"node02", "corp.example.test", "", "CN=X", "p"}),
                 SetupAlreadyJoinedException);
    EXPECT_EQ(joined, State());

    provider.PartDomain();
    EXPECT_TRUE(provider.GetActiveDomain().dnsName.empty());
    EXPECT_THROW(provider.GetMachineAccountDN(), FileNotFoundException);
    EXPECT_THAT(State(), Not(HasSubstr("joined_")));
    EXPECT_THAT(State(), HasSubstr("machine_account = " + LocalAccountName()));

    Join();
    EXPECT_THROW(provider.PartDomain(Credentials{"administrator", "wrong"}), LogonFailureException);
    EXPECT_EQ("corp.example.test", provider.GetActiveDomain().dnsName);
    provider.PartDomain(ADMINISTRATOR);
    EXPECT_THAT(State(), Not(HasSubstr("machine_account")));
    EXPECT_TRUE(provider.GetActiveDomain().dnsName.empty());

    // A record without a user name is a local leave.
    Join();
    provider.PartDomain(Credentials{nullptr, nullptr});
    EXPECT_THAT(State(), HasSubstr("machine_account = "));
}

TEST_F(SimDirectory, WhileNotJoinedOnlyDomainIndependentQueriesAnswer)
{
    EXPECT_TRUE(provider.GetActiveDomain().dnsName.empty());
    EXPECT_TRUE(provider.GetActiveDomain().netbiosName.empty());
    EXPECT_THROW(provider.GetTrustedDomains(), FileNotFoundException);
    EXPECT_THROW(provider.GetMachineAccountDN(), FileNotFoundException);
    EXPECT_THROW(provider.GetHostPrincipalForDomain("corp.example.test"), FileNotFoundException);
    EXPECT_THROW(provider.ConvertCanonicalUsername("alice"), FileNotFoundException);
    EXPECT_EQ(0u, provider.GetDomainTrustRelationship("corp.example.test"));
    EXPECT_EQ(0x11u, provider.GetDomainTrustState());
    EXPECT_EQ("dc1.corp.example.test", provider.GetAnyDomainController("", "corp.example.test"));
    // Trusted domains are seen only through a membership.
    EXPECT_THROW(provider.GetAnyDomainController("", "emea.corp.example.test"), NoSuchDomainException);
}

TEST_F(SimDirectory, TrustedDomainsPrincipalsAndCanonicalNames)
{
    Join();
    const std::deque<Domain> trusted = provider.GetTrustedDomains();
    ASSERT_EQ(2u, trusted.size());
    EXPECT_EQ("emea.corp.example.test", trusted[0].dnsName);
    EXPECT_EQ("EMEA", trusted[0].netbiosName);
    EXPECT_EQ("partner.example.org", trusted[1].dnsName);
    EXPECT_EQ("PARTNER", trusted[1].netbiosName);
    EXPECT_EQ(1u, provider.GetDomainTrustRelationship("CORP"));
    EXPECT_EQ(2u, provider.GetDomainTrustRelationship("emea.corp.example.test"));
    EXPECT_EQ(3u, provider.GetDomainTrustRelationship("partner"));
    EXPECT_EQ(0u, provider.GetDomainTrustRelationship("stranger.example.net"));

    EXPECT_EQ(LocalAccountName() + "$@CORP.EXAMPLE.TEST", provider.GetHostPrincipalForDomain("corp"));
    EXPECT_EQ(LocalAccountName() + "$@PARTNER.EXAMPLE.ORG", provider.GetHostPrincipalForDomain("partner.example.org"));
    EXPECT_THROW(provider.GetHostPrincipalForDomain("stranger.example.net"), NoSuchDomainException);
    const std::pair<const char*, const char*> names[] = {
        {"alice", "CORP\\alice"},
        {"alice@emea.corp.example.test", "EMEA\\alice"},
        {"partner\\Bob", "PARTNER\\Bob"},
        {"corp\\carol", "CORP\\carol"},
    };
    for (const auto& name : names) {
        EXPECT_EQ(name.second, provider.ConvertCanonicalUsername(name.first)) << name.first;
    }
    EXPECT_THROW(provider.ConvertCanonicalUsername("dave@stranger.example.net"), NoSuchDomainException);
    EXPECT_THROW(provider.ConvertCanonicalUsername("CORP\\"), InvalidAccountNameException);
    EXPECT_THROW(provider.ConvertCanonicalUsername(""), InvalidAccountNameException);
}

TEST_F(SimDirectory, DomainControllersPreferTheConfiguredOnes)
{
    Join();
    EXPECT_EQ("dc1.corp.example.test", provider.GetAnyDomainController("", "corp.example.test"));
    EXPECT_EQ("dc1.emea.corp.example.test", provider.GetAnyDomainController("", "EMEA"));
    EXPECT_EQ("dc2.corp.example.test", provider.GetAnyDomainController("DC2", "corp.example.test"));
    EXPECT_THROW(provider.GetAnyDomainController("", "partner.example.org"), NoLogonServersException);
    EXPECT_THROW(provider.GetAnyDomainController("", "stranger.example.net"), NoSuchDomainException);

    EXPECT_TRUE(provider.GetPreferredDomainControllers().empty());
    provider.SetPreferredDomainControllers({"dc9.corp.example.test", "dc2.corp.example.test"});
    EXPECT_EQ((Controllers{"dc9.corp.example.test", "dc2.corp.example.test"}), provider.GetPreferredDomainControllers());
    EXPECT_EQ("dc9.corp.example.test", provider.GetAnyDomainController("", "corp"));
    EXPECT_THAT(State(), HasSubstr("\npreferred_controller = dc9.corp.example.test\n"
                                   "preferred_controller = dc2.corp.example.test\n"));
    provider.SetPreferredDomainControllers({});
    EXPECT_TRUE(provider.GetPreferredDomainControllers().empty());
    EXPECT_EQ("dc1.corp.example.test", provider.GetAnyDomainController("", "corp"));
}

TEST_F(SimDirectory, SmartCardServicesRoundTripAndEntriesThatWouldCorruptTheFileAreRefused)
{
    const std::vector<std::string> services = {"login", "sshd", "console"};
    provider.SetSmartCardEnabledServices(services);
    EXPECT_EQ(services, provider.GetSmartCardEnabledServices());
    EXPECT_EQ(services, ActiveDirectoryProvider("simdirectory").GetSmartCardEnabledServices());

    const std::string before = State();
    EXPECT_THROW(provider.SetSmartCardEnabledServices({"login", "ssh d"}), InvalidParameterException);
    EXPECT_THROW(provider.SetSmartCardEnabledServices({""}), InvalidParameterException);
    EXPECT_THROW(provider.SetPreferredDomainControllers({"dc1\ncontroller = evil"}), InvalidParameterException);
    EXPECT_EQ(before, State());

    provider.SetSmartCardEnabledServices({});
    EXPECT_TRUE(provider.GetSmartCardEnabledServices().empty());
}

TEST_F(SimDirectory, MachineAccountJoinChecksAndRecordsWhatTheProxyReported)
{
    JORV::DirectoryDomainInfo otherSid = ProxyDomain(), otherDomain = ProxyDomain(), netbiosOnly = ProxyDomain();
    otherSid.sid = "S-1-5-21-1-2-3";
    otherDomain.dnsName = "other.example.test";
    netbiosOnly.dnsName = "";
    const JORV::MachineAccountInfo account = {"node02", "corp.example.test", "", "CN=NODE02", "one-time"};
    EXPECT_THROW(provider.JoinDomainWithMachineAccount(otherSid, account), DomainTrustInconsistentException);
    EXPECT_THROW(provider.JoinDomainWithMachineAccount(otherDomain, account), NoSuchDomainException);
    EXPECT_THROW(provider.JoinDomainWithMachineAccount(ProxyDomain(), {"node02", "corp.example.test", "", "", "p"}),
                 NoTrustSAMAccountException);
    EXPECT_THROW(provider.JoinDomainWithMachineAccount(ProxyDomain(), {"node02", "corp.example.test", "", "CN=X", ""}),
                 NoTrustSAMAccountException);
    EXPECT_THROW(provider.JoinDomainWithMachineAccount(ProxyDomain(), {"", "corp.example.test", "", "CN=X", "p"}),
                 InvalidComputerNameException);
    EXPECT_EQ(DOMAIN_STATE, State());

    const std::string dn = "CN=NODE02,OU=Hypervisors,DC=corp,DC=example,DC=test";
    provider.JoinDomainWithMachineAccount(netbiosOnly, {"node02", "corp.example.test", "", dn, "one-time"});
    EXPECT_EQ("corp.example.test", provider.GetActiveDomain().dnsName);
    EXPECT_EQ("CORP", provider.GetActiveDomain().netbiosName);
    EXPECT_EQ(dn, provider.GetMachineAccountDN());
    EXPECT_EQ("NODE02$@CORP.EXAMPLE.TEST", provider.GetHostPrincipalForDomain("corp.example.test"));
    EXPECT_THAT(State(), HasSubstr("\nmachine_account = NODE02\n"));

    // A first value that is no distinguished name leaves the account in the
    // default container.
    provider.PartDomain();
    provider.JoinDomainWithMachineAccount(ProxyDomain(), {"node03", "corp.example.test", "", "opaque", "one-time"});
    EXPECT_EQ("CN=NODE03,CN=Computers,DC=corp,DC=example,DC=test", provider.GetMachineAccountDN());
}

TEST_F(SimDirectory, AMalformedStateFileFailsEveryOperationWithoutBeingRewritten)
{
    for (const char* text : {"domain = corp.example.test\ndomian = typo.test\n",
                             "domain = corp.example.test\njust some words\n", "Domain = corp.example.test\n",
                             "user = administrator\n", "trusted_domain = emea.corp.example.test\n",
                             "trusted_domain = emea.corp.example.test EMEA two\n", "trust_state = -1\n",
                             "trust_state = 0x100000000\n"}) {
        SCOPED_TRACE(text);
        WriteFile(DirectoryStatePath(), text);
        EXPECT_THROW(provider.GetActiveDomain(), InternalErrorException);
        EXPECT_THROW(Join(), InternalErrorException);
        EXPECT_THROW(provider.SetSmartCardEnabledServices({"sshd"}), InternalErrorException);
        EXPECT_EQ(0u, provider.GetDomainTrustState());
        EXPECT_EQ(text, State());
    }
}

TEST_F(SimDirectory, AMissingStateFileIsADomainNobodyCanJoin)
{
    std::remove(DirectoryStatePath().c_str());
    EXPECT_TRUE(provider.GetActiveDomain().dnsName.empty());
    EXPECT_EQ(0u, provider.GetDomainTrustState());
    EXPECT_THROW(Join(), NoSuchDomainException);
    EXPECT_FALSE(FileExists(DirectoryStatePath()));

    // Settings are kept even without a domain, in a file only its owner
    // reads (it holds passwords once an operator adds users).
    provider.SetPreferredDomainControllers({"dc1.corp.example.test"});
    EXPECT_EQ("preferred_controller = dc1.corp.example.test\n", State());
    EXPECT_EQ(0600u, FileMode(DirectoryStatePath()));
}

TEST_F(SimDirectory, CommentsBlanksAndCarriageReturnsAreTolerated)
{
    WriteFile(DirectoryStatePath(), "\n   # indented comment\r\n  domain\t=\tcorp.example.test   \r\n"
                                    "netbios=CORP\nuser = administrator:Secret#1\r\n\t\n");
    Join();
    EXPECT_EQ("CORP", provider.GetActiveDomain().netbiosName);
}

}  // namespace
