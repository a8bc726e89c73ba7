// The reference plug-ins where the demo and the end-to-end table do not
// reach: state files they must refuse rather than misread or let be
// forged, and the proxy's certificate check.
#include "BuildPaths.h"
#include "common/Files.h"

#include <orvane/authentication/ActiveDirectoryProvider.h>
#include <orvane/authentication/Exceptions.h>
#include <orvane/authentication/JORVProxy.h>

#include <gtest/gtest.h>

#include <cstdio>

using namespace orvane::authentication;
using orvauth_test::ReadFile;
using orvauth_test::WriteFile;

namespace {

const std::string DIRECTORY_STATE = std::string(ORVAUTH_PLUGIN_DIR) + "/simdirectory.state";
const std::string PROXY_STATE = std::string(ORVAUTH_PLUGIN_DIR) + "/simproxy.state";
const Credentials ADMINISTRATOR = {"administrator", "Secret#1"};
const char TRUSTED[] = "5E:2F:0B:91:C4:7A:33:10:8D:E6:4F:A2:19:C0:7B:55:E3:02:9A:6D";

// Each test writes the state it needs; none is left for the next.
class ReferencePlugins : public ::testing::Test {
protected:
    void TearDown() override
    {
        std::remove(DIRECTORY_STATE.c_str());
        std::remove(PROXY_STATE.c_str());
    }
};

TEST_F(ReferencePlugins, AMalformedDirectoryStateFailsEveryOperationWithoutBeingRewritten)
{
    ActiveDirectoryProvider provider("simdirectory");
    for (const char* text : {"domain = corp.example.test\ndomian = typo.test\n",
                             "domain = corp.example.test\njust some words\n", "Domain = corp.example.test\n",
                             "user = administrator\n", "trusted_domain = emea.corp.example.test\n",
                             "trusted_domain = emea.corp.example.test EMEA two\n", "trust_state = -1\n",
                             "trust_state = 0x100000000\n"}) {
        SCOPED_TRACE(text);
        WriteFile(DIRECTORY_STATE, text);
        EXPECT_THROW(provider.GetActiveDomain(), InternalErrorException);
        EXPECT_THROW(provider.JoinDomain("corp.example.test", "", ADMINISTRATOR), InternalErrorException);
        EXPECT_THROW(provider.SetSmartCardEnabledServices({"sshd"}), InternalErrorException);
        EXPECT_EQ(0u, provider.GetDomainTrustState());
        EXPECT_EQ(text, ReadFile(DIRECTORY_STATE));
    }
}

TEST_F(ReferencePlugins, ValuesThatWouldForgeStateLinesAreRefused)
{
    const std::string state = "domain = corp.example.test\nnetbios = CORP\nuser = administrator:Secret#1\n";
    WriteFile(DIRECTORY_STATE, state);
    ActiveDirectoryProvider provider("simdirectory");
    EXPECT_THROW(provider.JoinDomain("corp.example.test", "Servers\nuser = mallory:x", ADMINISTRATOR),
                 InvalidParameterException);
    EXPECT_THROW(provider.SetSmartCardEnabledServices({"login", "ssh d"}), InvalidParameterException);
    EXPECT_THROW(provider.SetPreferredDomainControllers({"dc1\ncontroller = evil"}), InvalidParameterException);
    EXPECT_EQ(state, ReadFile(DIRECTORY_STATE));

    WriteFile(PROXY_STATE, "domain = corp.example.test\nnetbios = CORP\nserver = 192.0.2.10\n");
    EXPECT_THROW(JORVProxy("simproxy", "192.0.2.10", false, "").CreateMachineAccount("node03", "OU=A\naccount = x"),
                 Exception);
    EXPECT_EQ("domain = corp.example.test\nnetbios = CORP\nserver = 192.0.2.10\n", ReadFile(PROXY_STATE));
}

TEST_F(ReferencePlugins, TheProxyAnswersOnlyWhenTheTrustedThumbprintIsItsCertificates)
{
    WriteFile(PROXY_STATE, "domain = corp.example.test\nnetbios = CORP\nsid = S-1-5-21-1-2-3\n"
                           "server = 192.0.2.10 5e:2f:0b:91:c4:7a:33:10:8d:e6:4f:a2:19:c0:7b:55:e3:02:9a:6d\n"
                           "server = 192.0.2.12\n");
    const struct { const char* what; const char* server; bool verify; std::string thumbprint; bool accepted; } cases[] = {
        {"matching thumbprint", "192.0.2.10", true, TRUSTED, true},
        {"different thumbprint", "192.0.2.10", true, "5E:2F:0B:91:C4:7A:33:10:8D:E6:4F:A2:19:C0:7B:55:E3:02:9A:6E",
         false},
        {"lower-case thumbprint is not the library's form", "192.0.2.10", true,
         "5e:2f:0b:91:c4:7a:33:10:8d:e6:4f:a2:19:c0:7b:55:e3:02:9a:6d", false},
        {"server presenting no certificate", "192.0.2.12", true, TRUSTED, false},
        {"verification off", "192.0.2.12", false, "", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const JORVProxy proxy("simproxy", c.server, c.verify, c.thumbprint);
        if (c.accepted) {
            EXPECT_NO_THROW(proxy.GetDomainSID());
            EXPECT_NO_THROW(proxy.CreateMachineAccount("node01.corp.example.test", ""));
        } else {
            EXPECT_THROW(proxy.GetDomainSID(), InvalidJORVCertificateException);
            EXPECT_THROW(proxy.CreateMachineAccount("node01.corp.example.test", ""), InvalidJORVCertificateException);
        }
    }
    // Refused requests created nothing; the accepted ones one account for the host.
    const std::string state = ReadFile(PROXY_STATE);
    EXPECT_NE(std::string::npos, state.find("\naccount = node01.corp.example.test "));
    EXPECT_EQ(state.find("\naccount = "), state.rfind("\naccount = "));
}

}  // namespace
