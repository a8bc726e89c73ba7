// The simproxy plug-in driven through the library's proxy wrapper: which
// servers answer, the certificate check, and the accounts it creates.
#include "referenceplugins/PluginStateFiles.h"

#include <orvane/authentication/Exceptions.h>
#include <orvane/authentication/JORVProxy.h>

#include <cstdio>
#include <stdexcept>

using namespace orvane::authentication;
using namespace orvauth_test;

namespace {

const char TRUSTED[] = "5E:2F:0B:91:C4:7A:33:10:8D:E6:4F:A2:19:C0:7B:55:E3:02:9A:6D";
const char SID[] = "S-1-5-21-3623811015-3361044348-30300820";

std::string ProxyState(const std::string& extra = "")
{
    return "domain = corp.example.test\nnetbios = CORP\nsid = " + std::string(SID) +
           "\n# thumbprints may be written in either case\n"
           "server = 192.0.2.10 5e:2f:0b:91:c4:7a:33:10:8d:e6:4f:a2:19:c0:7b:55:e3:02:9a:6d\n"
           "server = 192.0.2.12\n" + extra;
}

std::string RunCommand(const std::string& command)
{
    std::FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r");
    std::string output;
    char buffer[256];
    while (pipe != nullptr && std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
        output += buffer;
    }
    if (pipe == nullptr || ::pclose(pipe) != 0) {
        throw std::runtime_error("command failed: " + command);
    }
    return output;
}

JORVProxy Proxy(const std::string& server, bool verify = false, const std::string& thumbprint = "")
{
    return JORVProxy("simproxy", server, verify, thumbprint);
}

class SimProxy : public ::testing::Test {
protected:
    void SetUp() override { WriteFile(ProxyStatePath(), ProxyState()); }

    PluginFiles files{"simproxy.state", "simproxy-test.pem", "simproxy-test.key", "simproxy-test.der"};
};

TEST_F(SimProxy, AnswersTheDomainItServesAndReportsUnknownServersAndDomains)
{
    std::string netbios, dns, sid;
    Proxy("192.0.2.10").GetDomainInfo(netbios, dns, sid);
    EXPECT_EQ("CORP", netbios);
    EXPECT_EQ("corp.example.test", dns);
    EXPECT_EQ(SID, sid);
    EXPECT_EQ("corp.example.test", Proxy("192.0.2.12").GetDNSDomainName());
    EXPECT_THROW(Proxy("192.0.2.99").GetDNSDomainName(), ConnectionRefusedException);
    EXPECT_THROW(Proxy("192.0.2.99", true, TRUSTED).CreateMachineAccount("node01", ""), ConnectionRefusedException);

    WriteFile(ProxyStatePath(), "server = 192.0.2.10\nnetbios = CORP\n");
    EXPECT_EQ(1355u, StatusOf([] { Proxy("192.0.2.10").GetDNSDomainName(); }));
    EXPECT_EQ(1355u, StatusOf([] { Proxy("192.0.2.10").CreateMachineAccount("node01", ""); }));
    WriteFile(ProxyStatePath(), ProxyState("serverr = 192.0.2.10\n"));
    EXPECT_EQ(1359u, StatusOf([] { Proxy("192.0.2.10").GetDNSDomainName(); }));
    std::remove(ProxyStatePath().c_str());
    EXPECT_THROW(Proxy("192.0.2.10").GetDNSDomainName(), ConnectionRefusedException);
}

TEST_F(SimProxy, VerificationComparesTheTrustedThumbprintWithTheServersCertificate)
{
    const struct {
        const char* what;
        const char* server;
        bool verify;
        std::string thumbprint;
        bool accepted;
    } cases[] = {
        {"matching thumbprint", "192.0.2.10", true, TRUSTED, true},
        {"different thumbprint", "192.0.2.10", true, "5E:2F:0B:91:C4:7A:33:10:8D:E6:4F:A2:19:C0:7B:55:E3:02:9A:6E",
         false},
        {"nothing trusted", "192.0.2.10", true, "", false},
        {"lower-case thumbprint is not the library's form", "192.0.2.10", true,
         "5e:2f:0b:91:c4:7a:33:10:8d:e6:4f:a2:19:c0:7b:55:e3:02:9a:6d", false},
        {"server presenting no certificate", "192.0.2.12", true, TRUSTED, false},
        {"verification off", "192.0.2.10", false, "00:11", true},
        {"verification off, no certificate", "192.0.2.12", false, "", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const JORVProxy proxy = Proxy(c.server, c.verify, c.thumbprint);
        if (c.accepted) {
            EXPECT_NO_THROW(proxy.GetDomainSID());
            EXPECT_NO_THROW(proxy.CreateMachineAccount("node01.corp.example.test", ""));
        } else {
            EXPECT_THROW(proxy.GetDomainSID(), InvalidJORVCertificateException);
            EXPECT_THROW(proxy.CreateMachineAccount("node01.corp.example.test", ""), InvalidJORVCertificateException);
        }
    }
    // Only accepted requests created an account, and only one for the host.
    EXPECT_EQ(ProxyState("account = node01.corp.example.test CN=NODE01,CN=Computers,DC=corp,DC=example,DC=test\n"),
              ReadFile(ProxyStatePath()));
}

TEST_F(SimProxy, ThumbprintOfAPemCertificateMatchesOpenSSL)
{
    const std::string pem = PluginFile("simproxy-test.pem");
    try {
        RunCommand("openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 30 "
                   "-subj /CN=jorv.corp.example.test -keyout " + PluginFile("simproxy-test.key") + " -out " + pem);
    } catch (const std::runtime_error& error) {
        GTEST_SKIP() << error.what();
    }
    const std::string output = RunCommand("openssl x509 -noout -fingerprint -sha1 -in " + pem);
    std::string thumbprint = output.substr(output.find('=') + 1);
    thumbprint.erase(thumbprint.find_last_not_of("\r\n") + 1);
    ASSERT_EQ(59u, thumbprint.size()) << output;

    // A relative path is taken from the plug-in directory; an absolute one
    // as it is.
    WriteFile(ProxyStatePath(), ProxyState("server = 192.0.2.20 simproxy-test.pem\nserver = 192.0.2.21 " + pem + "\n"));
    EXPECT_EQ("CORP", Proxy("192.0.2.20", true, thumbprint).GetNetBIOSDomainName());
    EXPECT_EQ("CORP", Proxy("192.0.2.21", true, thumbprint).GetNetBIOSDomainName());
    EXPECT_THROW(Proxy("192.0.2.20", true, TRUSTED).GetNetBIOSDomainName(), InvalidJORVCertificateException);

    // A certificate the plug-in cannot read as PEM never verifies.
    RunCommand("openssl x509 -in " + pem + " -outform DER -out " + PluginFile("simproxy-test.der"));
    WriteFile(ProxyStatePath(), ProxyState("server = 192.0.2.20 simproxy-test.der\nserver = 192.0.2.21 missing.pem\n"));
    EXPECT_THROW(Proxy("192.0.2.20", true, thumbprint).GetNetBIOSDomainName(), InvalidJORVCertificateException);
    EXPECT_THROW(Proxy("192.0.2.21", true, thumbprint).GetNetBIOSDomainName(), InvalidJORVCertificateException);
    EXPECT_EQ("CORP", Proxy("192.0.2.20").GetNetBIOSDomainName());
}

TEST_F(SimProxy, CreatedAccountsAreAppendedOncePerHost)
{
    // The last line has no line end: the account line must not be glued to it.
    const std::string state = ProxyState("container = OU=Hypervisors,OU=Servers");
    WriteFile(ProxyStatePath(), state);
    const JORVProxy proxy = Proxy("192.0.2.10", true, TRUSTED);

    const ComputerPrincipalInfo first = proxy.CreateMachineAccount("node01.corp.example.test", "");
    EXPECT_EQ("CN=NODE01,OU=Hypervisors,OU=Servers,DC=corp,DC=example,DC=test", first.createdValue1);
    EXPECT_FALSE(first.createdValue2.empty());
    EXPECT_TRUE(first.spareText.empty());
    const ComputerPrincipalInfo again = proxy.CreateMachineAccount("node01.corp.example.test", "");
    EXPECT_EQ(first.createdValue1, again.createdValue1);
    EXPECT_NE(first.createdValue2, again.createdValue2) << "a reset account gets a new password";
    const ComputerPrincipalInfo placed = proxy.CreateMachineAccount("node02.corp.example.test", "Lab/Racks");
    EXPECT_EQ("CN=NODE02,OU=Racks,OU=Lab,DC=corp,DC=example,DC=test", placed.createdValue1);

    EXPECT_EQ(1210u, StatusOf([&] { proxy.CreateMachineAccount("", ""); }));
    EXPECT_EQ(87u, StatusOf([&] { proxy.CreateMachineAccount("node03", "OU=A\naccount = forged"); }));
    EXPECT_EQ(state + "\naccount = node01.corp.example.test CN=NODE01,OU=Hypervisors,OU=Servers,DC=corp,DC=example,DC=test\n"
                      "account = node02.corp.example.test CN=NODE02,OU=Racks,OU=Lab,DC=corp,DC=example,DC=test\n",
              ReadFile(ProxyStatePath()));
}

}  // namespace
