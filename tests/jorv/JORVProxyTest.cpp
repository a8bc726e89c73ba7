// The proxy plug-in wrapper against real plug-in shared objects: where it
// loads from, which tables it refuses, what it passes, how it copies and
// releases the plug-in's strings, and how statuses become exceptions.
#include "ScriptableProxyLoader.h"

#include <orvane/authentication/Exceptions.h>
#include <orvane/authentication/JORVProxy.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <memory>
#include <string>
#include <typeinfo>

using namespace orvane::authentication;
using jorv_test::IsLoaded;
using jorv_test::ProxyPluginPath;
using jorv_test::ScriptableProxy;

namespace {

const char SERVER[] = "192.0.2.7";
const char THUMBPRINT[] = "0A:1B:2C:3D:4E:5F:60:71:82:93:A4:B5:C6:D7:E8:F9:00:11:22:33";

std::unique_ptr<JORVProxy> Open(const std::string& name, bool verify = true, const std::string& thumbprint = THUMBPRINT)
{
    return std::unique_ptr<JORVProxy>(new JORVProxy(name, SERVER, verify, thumbprint));
}

// --- loading ---------------------------------------------------------------

TEST(JORVProxyLoading, PrefersTheLib64CopyAndFallsBackToTheBaseDirectory)
{
    ScriptableProxy lib64Copy("jorvproxy_both", true);
    ScriptableProxy baseCopy("jorvproxy_both", false);
    ASSERT_EQ("lib64", lib64Copy.Location());
    ASSERT_EQ("base", baseCopy.Location());
    Open("jorvproxy_both")->GetDomainSID();
    EXPECT_EQ(1u, lib64Copy->domainInfoCalls);
    EXPECT_EQ(0u, baseCopy->domainInfoCalls);

    ScriptableProxy baseOnly("jorvproxy_base", false);
    EXPECT_EQ("corp.example", Open("jorvproxy_base")->GetDNSDomainName());
    EXPECT_EQ(1u, baseOnly->domainInfoCalls);
}

TEST(JORVProxyLoading, MissingPluginReportsTheLoaderErrorOfTheBaseDirectoryPath)
{
    try {
        Open("jorvproxy_absent");
        FAIL() << "no IOError";
    } catch (const IOError& error) {
        const std::string message = error.what();
        EXPECT_EQ(0u, message.rfind("Unable to open JORV provider: " + ProxyPluginPath("jorvproxy_absent", false), 0))
            << message;
        EXPECT_EQ(0u, error.Code());
    }
}

TEST(JORVProxyLoading, ClosesItsHandleWhenDestroyed)
{
    const std::string path = ProxyPluginPath("jorvproxy_base", false);
    ASSERT_FALSE(IsLoaded(path));
    {
        std::unique_ptr<JORVProxy> proxy = Open("jorvproxy_base");
        EXPECT_TRUE(IsLoaded(path));
        EXPECT_EQ("CORP", proxy->GetNetBIOSDomainName());
    }
    EXPECT_FALSE(IsLoaded(path));
}

TEST(JORVProxyLoading, AcceptsATableWithoutEntryZeroAndNeverCallsIt)
{
    ScriptableProxy withoutEntry0("jorvproxy_no_entry0", false);
    EXPECT_EQ("corp.example", Open("jorvproxy_no_entry0")->GetDNSDomainName());

    ScriptableProxy plugin;
    std::unique_ptr<JORVProxy> proxy = Open("jorvproxy");
    proxy->GetDomainSID();
    proxy->CreateMachineAccount("node01.corp.example", "");
    EXPECT_EQ(0u, plugin->entry0Calls);
}

TEST(JORVProxyLoading, RefusesATableWithoutAnyOfItsRequiredEntries)
{
    using Entry = std::function<void(JORVProxyClientOperations&)>;
    const Entry removals[] = {
        [](JORVProxyClientOperations& table) { table.GetDomainInfo = nullptr; },
        [](JORVProxyClientOperations& table) { table.CreateMachineAccount = nullptr; },
        [](JORVProxyClientOperations& table) { table.Release = nullptr; },
    };
    for (const Entry& remove : removals) {
        ScriptableProxy plugin;
        remove(plugin.Table());
        try {
            Open("jorvproxy");
            ADD_FAILURE() << "table accepted";
        } catch (const InvalidJORVProxyProviderException& error) {
            // A present symbol leaves the loader nothing to say.
            EXPECT_STREQ("The specified JORVProxy provider 'jorvproxy' is invalid: ", error.what());
        }
    }
}

TEST(JORVProxyLoading, UnloadsARefusedPlugin)
{
    struct Case {
        const char* name;
        bool loaderHasReason;
    };
    for (const Case& refused : {Case{"jorvproxy_no_entry2", false}, Case{"jorvproxy_no_table", true}}) {
        const std::string path = ProxyPluginPath(refused.name, false);
        try {
            Open(refused.name);
            ADD_FAILURE() << refused.name << " accepted";
        } catch (const InvalidJORVProxyProviderException& error) {
            const std::string prefix = std::string("The specified JORVProxy provider '") + refused.name + "' is invalid: ";
            const std::string message = error.what();
            EXPECT_EQ(0u, message.rfind(prefix, 0)) << message;
            if (refused.loaderHasReason) {
                EXPECT_NE(std::string::npos, message.find(JORV_PROXY_CLIENT_OPERATIONS_SYMBOL)) << message;
            } else {
                EXPECT_EQ(prefix, message);
            }
        }
        EXPECT_FALSE(IsLoaded(path)) << refused.name;
    }
}

TEST(JORVProxyLoading, RefusesANameThatWouldLeaveThePluginDirectory)
{
    // Without the check, "lib64/lib" + name + ".so" would reach the base
    // directory's plug-in through this directory.
    const std::string detour = std::string(ORVAUTH_PLUGIN_DIR) + "/lib64/libdetour";
    ASSERT_TRUE(mkdir(detour.c_str(), 0755) == 0 || errno == EEXIST);
    const std::string name = "detour/../../jorvproxy_base";
    try {
        Open(name);
        ADD_FAILURE() << "name accepted";
    } catch (const InvalidJORVProxyProviderException& error) {
        const std::string message = error.what();
        EXPECT_EQ(0u, message.rfind("The specified JORVProxy provider '" + name + "' is invalid: ", 0)) << message;
        EXPECT_GT(message.size(), ("The specified JORVProxy provider '" + name + "' is invalid: ").size());
    }
    rmdir(detour.c_str());
    EXPECT_FALSE(IsLoaded(ProxyPluginPath("jorvproxy_base", false)));
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
    EXPECT_EQ("S-1-5-21-1004336348-1177238915-682003330", sid);
    EXPECT_STREQ(SERVER, plugin->lastDomainInfo.serverAddress.text);
    EXPECT_EQ(1, plugin->lastDomainInfo.verifyCertificate);
    EXPECT_STREQ(THUMBPRINT, plugin->lastDomainInfo.thumbprint.text);
    EXPECT_STREQ("CORP|corp.example|S-1-5-21-1004336348-1177238915-682003330|", plugin->releaseLog);

    std::unique_ptr<JORVProxy> unverified = Open("jorvproxy", false, "");
    unverified->GetDomainSID();
    EXPECT_EQ(0, plugin->lastDomainInfo.verifyCertificate);
    EXPECT_FALSE(plugin->lastDomainInfo.thumbprint.isNull);
    EXPECT_STREQ("", plugin->lastDomainInfo.thumbprint.text);
}

TEST_F(JORVProxyRequests, EachNameAccessorMakesItsOwnRequest)
{
    EXPECT_EQ("CORP", proxy->GetNetBIOSDomainName());
    EXPECT_EQ(1u, plugin->domainInfoCalls);
    EXPECT_EQ("corp.example", proxy->GetDNSDomainName());
    EXPECT_EQ(2u, plugin->domainInfoCalls);
    EXPECT_EQ("S-1-5-21-1004336348-1177238915-682003330", proxy->GetDomainSID());
    EXPECT_EQ(3u, plugin->domainInfoCalls);
    EXPECT_EQ(9u, plugin->releaseCalls);
}

TEST_F(JORVProxyRequests, ControllerAndContainerAreEmptyWithoutAskingThePlugin)
{
    EXPECT_EQ("", proxy->GetDomainController());
    EXPECT_EQ("", proxy->GetDefaultComputerContainer());
    EXPECT_STREQ("", plugin->callLog);
}

TEST_F(JORVProxyRequests, SuccessWithoutAStringYieldsAnEmptyText)
{
    plugin->dnsName = nullptr;
    plugin->createdValue1 = nullptr;
    std::string netbios, dns = "old", sid;
    proxy->GetDomainInfo(netbios, dns, sid);
    EXPECT_EQ("", dns);
    EXPECT_EQ("CORP", netbios);
    EXPECT_EQ("CORP|S-1-5-21-1004336348-1177238915-682003330|", std::string(plugin->releaseLog));

    const ComputerPrincipalInfo created = proxy->CreateMachineAccount("node01.corp.example", "");
    EXPECT_EQ("", created.createdValue1);
    EXPECT_EQ("created-value-2", created.createdValue2);
    EXPECT_EQ(3u, plugin->releaseCalls);  // null strings are not handed back
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

// --- statuses ----------------------------------------------------------------

struct StatusCase {
    uint32_t status;
    const std::type_info& type;
    unsigned long code;
    std::string message;
};

void ExpectStatus(const StatusCase& expected, const std::function<void()>& call)
{
    try {
        call();
        ADD_FAILURE() << "status " << expected.status << " did not throw";
    } catch (const Exception& error) {
        EXPECT_EQ(expected.type, typeid(error)) << "status " << expected.status << ": " << typeid(error).name();
        EXPECT_EQ(expected.code, error.Code()) << "status " << expected.status;
        EXPECT_EQ(expected.message, error.what()) << "status " << expected.status;
    }
}

TEST_F(JORVProxyRequests, StatusesBecomeTheirExceptionsAndNothingIsReleased)
{
    const StatusCase cases[] = {
        {8, typeid(NotEnoughMemoryException), 8, "Exception 0x00000008: Not enough memory"},
        {1225, typeid(ConnectionRefusedException), 1225,
         "Exception 0x000004c9: The remote computer refused the network connection."},
        {1229, typeid(ConnectionInvalidException), 1229,
         "Exception 0x000004cd: An operation was attempted on a nonexistent network connection."},
        {10060, typeid(WSATimedOutException), 10060, WSATimedOutException().what()},
        {0x80090325u, typeid(InvalidJORVCertificateException), 0,
         "The JORV server's certificate cannot be verified."},
        {5, typeid(UnknownException), 5, "Exception 0x00000005: Unknown exception"},
        {0xFFFFFFFFu, typeid(UnknownException), 0xFFFFFFFFul, "Exception 0xffffffff: Unknown exception"},
    };
    for (const StatusCase& expected : cases) {
        plugin->domainInfoStatus = expected.status;
        plugin->createStatus = expected.status;
        std::string netbios = "kept", dns = "kept", sid = "kept";
        ExpectStatus(expected, [&] { proxy->GetDomainInfo(netbios, dns, sid); });
        EXPECT_EQ("kept", netbios);
        EXPECT_EQ("kept", dns);
        EXPECT_EQ("kept", sid);
        ExpectStatus(expected, [&] { proxy->GetDNSDomainName(); });
        ExpectStatus(expected, [&] { proxy->CreateMachineAccount("node01.corp.example", "OU=Hosts"); });
    }
    EXPECT_EQ(0u, plugin->releaseCalls);
}

}  // namespace
