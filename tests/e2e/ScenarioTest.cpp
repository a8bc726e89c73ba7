// The demo's scenario against the reference plug-ins, checking after each
// step the traces the host keeps: authentication.conf, the records in the
// configuration store, the hosts file, the DNS search list, jorvservers.conf
// and the plug-ins' own state.
#include "HostSandbox.h"

#include <orvane/authentication/ActiveDirectoryConfigStore.h>
#include <orvane/authentication/Exceptions.h>

namespace e2e {
namespace {

using orvane::authentication::ActiveDirectoryConfigStore;
using orvane::authentication::FileNotFoundException;
using orvauth_test::ConfigFile;
using orvauth_test::ReadFile;
using Values = std::map<std::string, std::string>;
using ::testing::HasSubstr;
using ::testing::Not;

class ScenarioTest : public HostSandbox {
protected:
    // Runs the tool and expects it to succeed.
    std::string Succeeds(const std::vector<std::string>& words, const std::string& input = "") const
    {
        ChildResult result = Tool(words, input);
        EXPECT_EQ(0, result.status) << result.err;
        EXPECT_EQ("", result.err);
        return result.out;
    }

    Values DomainRecord() const { return Record(ActiveDirectoryConfigStore::AD_CSO_ID); }
    Values CertificateRecord() const { return Record(ActiveDirectoryConfigStore::AUTH_PROXY_CERT_CSO_ID); }
};

TEST_F(ScenarioTest, CredentialsJoinProxyJoinAndBackToLocalUsers)
{
    EXPECT_EQ("  Active Directory\n* None\n", Succeeds({"stores"}));

    Succeeds({"activate", "Active Directory"});
    EXPECT_EQ("remote-authentication-store = \"Active Directory\"\n", ReadFile(ConfigFile("authentication.conf")));
    EXPECT_EQ(
        "{\"stores\":[{\"name\":\"Active Directory\",\"active\":true},{\"name\":\"None\",\"active\":false}],"
        "\"active\":\"Active Directory\"}\n",
        Succeeds({"stores", "--json"}));
    // Not joined: no membership, and the trusted-domains step fails with
    // "file not found", which makes the trust state 7.
    EXPECT_THAT(Succeeds({"status", "--json"}),
                HasSubstr("\"configuration\":{\"joinedDomain\":{\"dnsName\":\"\",\"netbiosName\":\"\"},"
                          "\"preferredDomainControllers\":[],\"machineAccount\":\"\"},\"trustedDomains\":{\"error\":\"" +
                          std::string(FileNotFoundException().what()) + "\"},\"trustState\":7,"));

    std::string joined = Succeeds({"join", "corp.example.test/Servers/Hypervisors", "--user", ADMIN_USER,
                                   "--password-stdin"},
                                  std::string(ADMIN_PASSWORD) + "\n");
    EXPECT_THAT(joined, Not(HasSubstr(ADMIN_PASSWORD)));
    EXPECT_EQ("127.0.0.1\tlocalhost\n192.0.2.21\tnode01.lab.example.test node01\n", HostFile("hosts"));
    EXPECT_EQ("nameserver 192.0.2.53\nsearch lab.example.test corp.example.test\n", HostFile("resolv.conf"));
    EXPECT_EQ((Values{{"domain_name", "corp.example.test"},
                      {"organizational_unit", "Servers/Hypervisors"},
                      {"auth_proxy_address", ""}}),
              DomainRecord());
    EXPECT_TRUE(HasStateLine(PluginState("simdirectory"), "joined_ou = Servers/Hypervisors"));

    std::string status = Succeeds({"status", "--json"});
    for (const char* expected :
         {"\"activeStore\":\"Active Directory\"",
          "\"joinedDomain\":{\"dnsName\":\"corp.example.test\",\"netbiosName\":\"CORP\"}",
          "\"machineAccount\":\"CN=NODE01,OU=Hypervisors,OU=Servers,DC=corp,DC=example,DC=test\"",
          "\"trustedDomains\":[{\"dnsName\":\"emea.corp.example.test\",\"netbiosName\":\"EMEA\"},"
          "{\"dnsName\":\"partner.example.org\",\"netbiosName\":\"PARTNER\"}]",
          "\"trustState\":1",
          "\"pamModule\":{\"name\":\"pam_simdirectory.so\",\"parameters\":[\"try_first_pass\"]}",
          "\"nssModule\":{\"name\":\"simdirectory\",\"parameters\":[]}",
          "\"membership\":{\"domainName\":\"corp.example.test\",\"organizationalUnit\":\"Servers/Hypervisors\","
          "\"proxyAddress\":\"\"}"}) {
        EXPECT_THAT(status, HasSubstr(expected));
    }

    Succeeds({"import-cert", ProxyCertificate()});
    EXPECT_EQ((Values{{"thumbprint", ProxyThumbprint()}, {"certificate", ReadFile(ProxyCertificate())}}),
              CertificateRecord());

    Succeeds({"leave"});
    EXPECT_EQ(Values(), DomainRecord());
    EXPECT_FALSE(HasStateLine(PluginState("simdirectory"), "joined_domain = corp.example.test"));
    EXPECT_EQ(ProxyThumbprint(), CertificateRecord()["thumbprint"]);

    // The stored option asks for the certificate check, which the imported
    // thumbprint passes.
    Succeeds({"--verify-proxy-cert", "1", "join-proxy", PROXY_ADDRESS});
    EXPECT_EQ((Values{{"domain_name", "corp.example.test"}, {"auth_proxy_address", PROXY_ADDRESS}}), DomainRecord());
    EXPECT_TRUE(HasStateLine(PluginState("simproxy"),
                             "account = node01.lab.example.test "
                             "CN=NODE01,OU=Hypervisors,OU=Servers,DC=corp,DC=example,DC=test"));
    EXPECT_THAT(Succeeds({"status"}), HasSubstr("Recorded proxy address:       192.0.2.10\n"));

    Succeeds({"leave"});
    Succeeds({"activate", "None"});
    EXPECT_EQ("remote-authentication-store = \"None\"\n", ReadFile(ConfigFile("authentication.conf")));
    EXPECT_EQ(Values(), DomainRecord());
}

TEST_F(ScenarioTest, WithoutConfigStoreProxiesAreTrustedPerServerInJorvservers)
{
    Succeeds({"--no-config-store", "import-cert", ProxyCertificate(), PROXY_ADDRESS});
    EXPECT_EQ("192.0.2.10 = \"" + ProxyThumbprint() + "\"\n", ReadFile(ConfigFile("jorvservers.conf")));

    Succeeds({"--no-config-store", "--verify-proxy-cert", "1", "join-proxy", PROXY_ADDRESS, "--ou", "OU=Lab"});
    EXPECT_TRUE(HasStateLine(PluginState("simdirectory"), "joined_domain = corp.example.test"));
    EXPECT_EQ(Values(), DomainRecord());
    EXPECT_EQ(Values(), CertificateRecord());
    EXPECT_THAT(Succeeds({"--no-config-store", "status"}),
                HasSubstr("Trusted proxies:              192.0.2.10 " + ProxyThumbprint() + "\n"));
}

TEST_F(ScenarioTest, ProxyWithAnotherCertificateIsRefusedBeforeAnyAccountIsCreated)
{
    Succeeds({"--no-config-store", "import-cert", OtherCertificate(), PROXY_ADDRESS});

    ChildResult result = Tool({"--no-config-store", "--verify-proxy-cert", "1", "join-proxy", PROXY_ADDRESS});

    EXPECT_EQ(1, result.status);
    EXPECT_EQ("orvauthctl: The JORV server's certificate cannot be verified.\n", result.err);
    EXPECT_THAT(PluginState("simproxy"), Not(HasSubstr("account =")));
    EXPECT_THAT(PluginState("simdirectory"), Not(HasSubstr("joined_domain")));

    // Without the check the same proxy is used.
    Succeeds({"--no-config-store", "--verify-proxy-cert", "0", "join-proxy", PROXY_ADDRESS});
    EXPECT_TRUE(HasStateLine(PluginState("simdirectory"), "joined_domain = corp.example.test"));
}

TEST_F(ScenarioTest, DirectoryRequestsAnswerFromTheJoinedDomain)
{
    Succeeds({"join", DOMAIN_NAME, "--user", "CORP\\administrator", "--password-stdin", "--skip-hostname-check"},
             std::string(ADMIN_PASSWORD) + "\n");
    // Skipping the host-name check leaves the host's files alone.
    EXPECT_EQ("127.0.0.1\tlocalhost\n", HostFile("hosts"));
    EXPECT_EQ("nameserver 192.0.2.53\nsearch lab.example.test\n", HostFile("resolv.conf"));

    EXPECT_EQ("dc1.corp.example.test\n", Succeeds({"domain-controller", DOMAIN_NAME}));
    EXPECT_EQ("NODE01$@CORP.EXAMPLE.TEST\n", Succeeds({"host-principal", DOMAIN_NAME}));
    EXPECT_EQ("EMEA\\jdoe\n", Succeeds({"canonical-name", "jdoe@emea.corp.example.test"}));
    EXPECT_EQ("corp.example.test\n", Succeeds({"proxy-domain", PROXY_ADDRESS}));

    Succeeds({"preferred-dcs", "set", "dc9.corp.example.test", "dc1.corp.example.test"});
    Succeeds({"smartcard", "set", "sshd", "login"});
    EXPECT_EQ("sshd\nlogin\n", Succeeds({"smartcard", "get"}));
    EXPECT_THAT(Succeeds({"status"}), HasSubstr("  Preferred domain controllers: dc9.corp.example.test\n"
                                                "                                dc1.corp.example.test\n"));

    // Leaving with credentials also removes the machine account; the
    // record in the configuration store is not touched that way.
    Succeeds({"leave", "--user", ADMIN_USER, "--password-stdin"}, std::string(ADMIN_PASSWORD) + "\n");
    EXPECT_THAT(PluginState("simdirectory"), Not(HasSubstr("machine_account = NODE01")));
    EXPECT_THAT(PluginState("simdirectory"), Not(HasSubstr("joined_domain")));
    EXPECT_EQ("corp.example.test", DomainRecord()["domain_name"]);
}

}  // namespace
}  // namespace e2e
