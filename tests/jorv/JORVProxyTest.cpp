// The proxy plug-in wrapper against real plug-in shared objects: where it
// loads from, which tables it refuses, what it passes, how it copies and
// releases the plug-in's strings, and how statuses become exceptions. Also
// the string type that carries the machine account's secret.
#include "common/MessageOf.h"
#include "fixtures/ScriptablePluginLoader.h"

#include <orvane/authentication/Exceptions.h>
#include <orvane/authentication/JORVProxy.h>

#include <gtest/gtest.h>

#include <memory>
#include <new>
#include <string>
#include <vector>

using namespace orvane::authentication;
using orvauth_test::ScriptablePlugin;
using orvauth_test::ExpectRefused;
using orvauth_test::IsLoaded;
using orvauth_test::PluginPath;

namespace {

const char THUMBPRINT[] = "0A:1B:2C:3D:4E:5F:60:71:82:93:A4:B5:C6:D7:E8:F9:00:11:22:33";
const std::string SID = "S-1-5-21-1004336348-1177238915-682003330";
const std::string INFO = "info 192.0.2.7 1 " + std::string(THUMBPRINT) + ";";

std::unique_ptr<JORVProxy> Open(const std::string& name, bool verify = true, const std::string& thumbprint = THUMBPRINT)
{
    return std::unique_ptr<JORVProxy>(new JORVProxy(name, "192.0.2.7", verify, thumbprint));
}

// Where a plug-in is looked for is the shared loader's, checked in
// ProviderLoadingTest; the wrapper's own part is unloading and its message.
TEST(JORVProxyLoading, UnloadsWhenDestroyedAndNamesAMissingPlugIn)
{
    std::unique_ptr<JORVProxy> proxy = Open("scriptable");
    EXPECT_TRUE(IsLoaded(PluginPath("scriptable")));
    proxy.reset();
    EXPECT_FALSE(IsLoaded(PluginPath("scriptable")));
    const std::string message = ExpectRefused([] { Open("jorvproxy_absent"); }, typeid(IOError));
    EXPECT_EQ(0u, message.rfind("Unable to open JORV provider: " + PluginPath("jorvproxy_absent", false), 0));
}

TEST(JORVProxyLoading, RefusesAndUnloadsAPluginWithoutItsRequiredEntries)
{
    for (int entry : {1, 2, 3}) {
        ScriptablePlugin plugin("scriptable");
        reinterpret_cast<void**>(&plugin.ProxyTable())[entry] = nullptr;  // an array of pointer-sized entries
        ExpectRefused([] { Open("scriptable"); }, typeid(InvalidJORVProxyProviderException),
                      "The specified JORVProxy provider 'scriptable' is invalid: ");
    }
    // Names the shared loader refuses are checked in ProviderLoadingTest.
    ExpectRefused([] { Open("scriptable_no_operations"); }, typeid(InvalidJORVProxyProviderException),
                  "The specified JORVProxy provider 'scriptable_no_operations' is invalid: " +
                      PluginPath("scriptable_no_operations") + ": undefined symbol: JORVProxyClientOperations");
    EXPECT_FALSE(IsLoaded(PluginPath("scriptable_no_operations", false)));
    EXPECT_FALSE(IsLoaded(PluginPath("scriptable", false)));
}

class JORVProxyRequests : public ::testing::Test {
protected:
    void TearDown() override
    {
        proxy.reset();
        EXPECT_EQ(0, plugin->outstanding) << "strings not handed back";
        EXPECT_EQ(0u, plugin->presetViolations) << "out pointers not cleared before a call";
    }

    ScriptablePlugin plugin{"scriptable"};
    std::unique_ptr<JORVProxy> proxy = Open("scriptable");
};

TEST_F(JORVProxyRequests, PassTheSettingsCopyTheAnswersAndReleaseThemInOrder)
{
    std::string netbios = "old", dns = "old", sid = "old";
    proxy->GetDomainInfo(netbios, dns, sid);
    EXPECT_EQ("CORP|corp.example|" + SID, netbios + "|" + dns + "|" + sid);
    // Each name is a request of its own; controller and container need none.
    EXPECT_EQ("CORP|corp.example|" + SID + "||", proxy->GetNetBIOSDomainName() + "|" + proxy->GetDNSDomainName() +
                                                       "|" + proxy->GetDomainSID() + "|" +
                                                       proxy->GetDomainController() + "|" +
                                                       proxy->GetDefaultComputerContainer());
    const std::string releases = "release CORP;release corp.example;release " + SID + ";";
    EXPECT_EQ(INFO + releases + INFO + releases + INFO + releases + INFO + releases, plugin->proxyLog);

    plugin->proxyLog[0] = '\0';
    plugin->proxyAnswers[1] = plugin->proxyAnswers[3] = nullptr;  // success without a string: empty, nothing released
    const ComputerPrincipalInfo created = proxy->CreateMachineAccount("node01.corp.example", "");
    EXPECT_EQ("|created-value-2", created.createdValue1 + "|" + created.createdValue2);
    proxy->CreateMachineAccount("node01.corp.example", "OU=Hosts");
    Open("scriptable", false, "")->GetDNSDomainName();
    EXPECT_EQ("create 192.0.2.7 node01.corp.example (null) 1 " + std::string(THUMBPRINT) +
                  ";release created-value-2;create 192.0.2.7 node01.corp.example OU=Hosts 1 " + THUMBPRINT +
                  ";release created-value-2;info 192.0.2.7 0 ;release CORP;release " + SID + ";",
              plugin->proxyLog);
}

TEST_F(JORVProxyRequests, StatusesBecomeTheirExceptionsAndNothingIsReleased)
{
    struct Case {
        uint32_t status;
        const std::type_info& type;
        std::string message;
    };
    // The mapping itself is the exception table's; here: that it is used.
    for (const Case& c : {Case{1225, typeid(ConnectionRefusedException),
                               "Exception 0x000004c9: The remote computer refused the network connection."},
                          Case{0x80090325u, typeid(InvalidJORVCertificateException),
                               "The JORV server's certificate cannot be verified."},
                          Case{0xFFFFFFFFu, typeid(UnknownException), "Exception 0xffffffff: Unknown exception"}}) {
        plugin->proxyStatus = c.status;
        std::string netbios = "kept", dns = "kept", sid = "kept";
        ExpectRefused([&] { proxy->GetDomainInfo(netbios, dns, sid); }, c.type, c.message);
        EXPECT_EQ("kept|kept|kept", netbios + "|" + dns + "|" + sid);
        ExpectRefused([&] { proxy->CreateMachineAccount("node01.corp.example", ""); }, c.type, c.message);
    }
    EXPECT_EQ(std::string::npos, std::string(plugin->proxyLog).find("release"));
}

// Keeps a copy of every block it is handed back, as it was then.
std::vector<std::string> freedBlocks;
template <class T>
struct InspectingAllocator : std::allocator<T> {
    template <class U>
    struct rebind {
        using other = InspectingAllocator<U>;
    };
    InspectingAllocator() = default;
    template <class U>
    InspectingAllocator(const InspectingAllocator<U>&) noexcept {}
    void deallocate(T* block, std::size_t count)
    {
        freedBlocks.emplace_back(reinterpret_cast<const char*>(block), count * sizeof(T));
        std::allocator<T>::deallocate(block, count);
    }
};

TEST(SecretString, NoBlockIsFreedOrLeftWithTheSecretInIt)
{
    using Inspected = std::basic_string<char, std::char_traits<char>, WipingAllocator<char, InspectingAllocator<char>>>;
    {
        Inspected secret("a one-time password longer than any inline buffer");
        secret += secret;  // grows: the old block goes
        Inspected copy = secret;
    }
    ASSERT_EQ(3u, freedBlocks.size());
    for (const std::string& block : freedBlocks) {
        EXPECT_EQ(std::string(block.size(), '\0'), block);
    }

    alignas(SecretString) unsigned char storage[sizeof(SecretString)];
    auto bytes = [&] { return std::string(reinterpret_cast<const char*>(storage), sizeof storage); };
    new (storage) SecretString("short");
    ASSERT_NE(std::string::npos, bytes().find("short")) << "kept inside the object";
    reinterpret_cast<SecretString*>(storage)->~SecretString();
    EXPECT_EQ(std::string::npos, bytes().find("short"));
}

}  // namespace
