// The proxy plug-in wrapper against real plug-in shared objects: where it
// loads from, which tables it refuses, what it passes, how it copies and
// releases the plug-in's strings, and how statuses become exceptions.
#include "ScriptableProxyLoader.h"
#include "membership/ExpectRefused.h"

#include <orvane/authentication/Exceptions.h>
#include <orvane/authentication/JORVProxy.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <typeinfo>

using namespace orvane::authentication;
using jorv_test::IsLoaded;
using orvauth_test::PluginPath;
using jorv_test::ScriptableProxy;
using membership_test::ExpectRefused;

namespace {

const char SERVER[] = "192.0.2.7";
const char THUMBPRINT[] = "0A:1B:2C:3D:4E:5F:60:71:82:93:A4:B5:C6:D7:E8:F9:00:11:22:33";
const std::string SID = "S-1-5-21-1004336348-1177238915-682003330";

std::unique_ptr<JORVProxy> Open(const std::string& name, bool verify = true, const std::string& thumbprint = THUMBPRINT)
{
    return std::unique_ptr<JORVProxy>(new JORVProxy(name, SERVER, verify, thumbprint));
}

// --- loading ---------------------------------------------------------------

TEST(JORVProxyLoading, PrefersLib64ThenTheBaseDirectoryAndUnloadsWhenDestroyed)
{
    for (bool inLib64 : {true, false}) {
        const std::string name = inLib64 ? "jorvproxy_both" : "jorvproxy_base";
        SCOPED_TRACE(name);
        {
            std::unique_ptr<JORVProxy> proxy = Open(name);
            EXPECT_EQ(inLib64, IsLoaded(PluginPath(name, true)));
            EXPECT_EQ(!inLib64, IsLoaded(PluginPath(name, false)));
            EXPECT_EQ("corp.example", proxy->GetDNSDomainName());
        }
        EXPECT_FALSE(IsLoaded(PluginPath(name, inLib64)));
    }
}

TEST(JORVProxyLoading, MissingPluginReportsTheLoaderErrorOfTheBaseDirectoryPath)
{
    const std::string message = ExpectRefused([] { Open("jorvproxy_absent"); }, typeid(IOError));
    EXPECT_EQ(0u, message.rfind("Unable to open JORV provider: " + PluginPath("jorvproxy_absent", false), 0))
        << message;
}

TEST(JORVProxyLoading, NeitherNeedsNorCallsEntryZero)
{
    ScriptableProxy plugin;
    Open("jorvproxy")->GetDomainSID();
    Open("jorvproxy")->CreateMachineAccount("node01.corp.example", "");
    EXPECT_STREQ("info create ", plugin->callLog);

    plugin.Table().Reserved = nullptr;
    EXPECT_EQ("corp.example", Open("jorvproxy")->GetDNSDomainName());
}

TEST(JORVProxyLoading, RefusesAndUnloadsAPluginWithoutItsRequiredEntries)
{
    for (int entry : {1, 2, 3}) {
        ScriptableProxy plugin;
        reinterpret_cast<void**>(&plugin.Table())[entry] = nullptr;  // an array of pointer-sized entries
        // The symbol is there, so the loader has nothing to add.
        ExpectRefused([] { Open("jorvproxy"); }, typeid(InvalidJORVProxyProviderException),
                      "The specified JORVProxy provider 'jorvproxy' is invalid: ");
    }

    struct Case {
        const char* name;
        const char* reason;  // null: nothing follows the library's text
    };
    for (const Case& c : {Case{"jorvproxy_no_entry2", nullptr}, Case{"jorvproxy_no_table", "JORVProxyClientOperations"},
                          // The name is spliced into a path: it must not lead elsewhere.
                          Case{"../jorvproxy_base", "/"}}) {
        SCOPED_TRACE(c.name);
        const std::string prefix = std::string("The specified JORVProxy provider '") + c.name + "' is invalid: ";
        const std::string message = ExpectRefused([&] { Open(c.name); }, typeid(InvalidJORVProxyProviderException));
        EXPECT_EQ(0u, message.rfind(prefix, 0)) << message;
        EXPECT_EQ(c.reason == nullptr, message == prefix) << message;
        EXPECT_TRUE(c.reason == nullptr || message.find(c.reason, prefix.size()) != std::string::npos) << message;
        EXPECT_FALSE(IsLoaded(PluginPath(c.name, false)));
        EXPECT_FALSE(IsLoaded(PluginPath("jorvproxy_base", false)));
    }
}

// --- requests ----------------------------------------------------------------

class JORVProxyRequests : public ::testing::Test {
protected:
    void TearDown() override
    {
        proxy.reset();
        EXPECT_EQ(0, plugin->outstanding) << "strings not handed back";
        EXPECT_EQ(0u, plugin->presetViolations) << "out pointers not cleared before a call";
    }

    ScriptableProxy plugin;
    std::unique_ptr<JORVProxy> proxy = Open("jorvproxy");
};

TEST_F(JORVProxyRequests, DomainInformationPassesTheSettingsAndReleasesInOrder)
{
    std::string netbios = "old", dns = "old", sid = "old";
    proxy->GetDomainInfo(netbios, dns, sid);
    EXPECT_EQ("CORP", netbios);
    EXPECT_EQ("corp.example", dns);
    EXPECT_EQ(SID, sid);
    EXPECT_STREQ(SERVER, plugin->lastDomainInfo.serverAddress.text);
    EXPECT_EQ(1, plugin->lastDomainInfo.verifyCertificate);
    EXPECT_STREQ(THUMBPRINT, plugin->lastDomainInfo.thumbprint.text);
    EXPECT_EQ("CORP|corp.example|" + SID + "|", plugin->releaseLog);

    // Each name is a request of its own; controller and container need none.
    EXPECT_EQ("CORP", proxy->GetNetBIOSDomainName());
    EXPECT_EQ("corp.example", proxy->GetDNSDomainName());
    EXPECT_EQ(SID, proxy->GetDomainSID());
    EXPECT_EQ("", proxy->GetDomainController());
    EXPECT_EQ("", proxy->GetDefaultComputerContainer());
    EXPECT_STREQ("info info info info ", plugin->callLog);

    Open("jorvproxy", false, "")->GetDomainSID();
    EXPECT_EQ(0, plugin->lastDomainInfo.verifyCertificate);
    EXPECT_FALSE(plugin->lastDomainInfo.thumbprint.isNull);
    EXPECT_STREQ("", plugin->lastDomainInfo.thumbprint.text);
}

TEST_F(JORVProxyRequests, MachineAccountPassesANullContainerOnlyWhenNoneIsGiven)
{
    ComputerPrincipalInfo created = proxy->CreateMachineAccount("node01.corp.example", "");
    EXPECT_TRUE(plugin->lastCreate.container.isNull);
    EXPECT_STREQ("node01.corp.example", plugin->lastCreate.hostName.text);
    EXPECT_STREQ(SERVER, plugin->lastCreate.serverAddress.text);
    EXPECT_EQ(1, plugin->lastCreate.verifyCertificate);
    EXPECT_STREQ(THUMBPRINT, plugin->lastCreate.thumbprint.text);
    EXPECT_EQ("", created.spareText);
    EXPECT_EQ("created-value-1", created.createdValue1);
    EXPECT_EQ("created-value-2", created.createdValue2);
    EXPECT_STREQ("created-value-1|created-value-2|", plugin->releaseLog);

    proxy->CreateMachineAccount("node01.corp.example", "OU=Hosts,DC=corp,DC=example");
    EXPECT_FALSE(plugin->lastCreate.container.isNull);
    EXPECT_STREQ("OU=Hosts,DC=corp,DC=example", plugin->lastCreate.container.text);
}

TEST_F(JORVProxyRequests, SuccessWithoutAStringYieldsAnEmptyTextAndReleasesNothingForIt)
{
    plugin->dnsName = nullptr;
    plugin->createdValue1 = nullptr;
    std::string netbios, dns = "old", sid;
    proxy->GetDomainInfo(netbios, dns, sid);
    EXPECT_EQ("", dns);
    EXPECT_EQ("CORP", netbios);
    const ComputerPrincipalInfo created = proxy->CreateMachineAccount("node01.corp.example", "");
    EXPECT_EQ("", created.createdValue1);
    EXPECT_EQ("created-value-2", created.createdValue2);
    EXPECT_EQ("CORP|" + SID + "|created-value-2|", plugin->releaseLog);
}

// --- statuses ----------------------------------------------------------------

TEST_F(JORVProxyRequests, StatusesBecomeTheirExceptionsAndNothingIsReleased)
{
    struct Case {
        uint32_t status;
        const std::type_info& type;
        std::string message;
    };
    const Case cases[] = {
        {8, typeid(NotEnoughMemoryException), "Exception 0x00000008: Not enough memory"},
        {1225, typeid(ConnectionRefusedException),
         "Exception 0x000004c9: The remote computer refused the network connection."},
        {1229, typeid(ConnectionInvalidException),
         "Exception 0x000004cd: An operation was attempted on a nonexistent network connection."},
        {10060, typeid(WSATimedOutException), WSATimedOutException().what()},
        {0x80090325u, typeid(InvalidJORVCertificateException), "The JORV server's certificate cannot be verified."},
        {5, typeid(UnknownException), "Exception 0x00000005: Unknown exception"},
        {0xFFFFFFFFu, typeid(UnknownException), "Exception 0xffffffff: Unknown exception"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status);
        plugin->domainInfoStatus = c.status;
        plugin->createStatus = c.status;
        std::string netbios = "kept", dns = "kept", sid = "kept";
        ExpectRefused([&] { proxy->GetDomainInfo(netbios, dns, sid); }, c.type, c.message);
        EXPECT_EQ("kept|kept|kept", netbios + "|" + dns + "|" + sid);
        ExpectRefused([&] { proxy->GetDNSDomainName(); }, c.type, c.message);
        ExpectRefused([&] { proxy->CreateMachineAccount("node01.corp.example", "OU=Hosts"); }, c.type, c.message);
    }
    EXPECT_STREQ("", plugin->releaseLog);
}

}  // namespace
