#include "PlatformFixture.h"

#include <platform/ZodCtl.h>

#include <memory>

using namespace orvauth_test;
using ZodCtl::Network::NetworkConfigException;
using ZodCtl::Network::NetworkInfoImpl;
using ZodCtl::Network::NetworkInterface;

namespace {

using NetworkInfoTest = PlatformTest;

std::unique_ptr<NetworkInterface> Management()
{
    return std::unique_ptr<NetworkInterface>(NetworkInfoImpl().GetManagementInterface());
}

std::string ManagementAddress() { return Management()->GetIpConfig().GetIpv4Address().GetStringAddress(); }

const char* const ROUTE_HEADER = "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";

TEST_F(NetworkInfoTest, ConfiguredInterfaceReportsItsRealAddress)
{
    OrvPlatform::Settings::SetManagementInterface("lo");
    auto interface = Management();
    EXPECT_EQ(interface->GetName(), "lo");
    EXPECT_EQ(interface->GetIpConfig().GetIpv4Address().GetStringAddress(), "127.0.0.1");
}

TEST_F(NetworkInfoTest, FixedAddressNeedsNoKernelInterface)
{
    OrvPlatform::Settings::SetManagementInterface("mgmt0", "192.0.2.10");
    auto interface = Management();
    EXPECT_EQ(interface->GetName(), "mgmt0");
    EXPECT_EQ(interface->GetIpConfig().GetIpv4Address().GetStringAddress(), "192.0.2.10");
    EXPECT_THROW(OrvPlatform::Settings::SetManagementInterface("mgmt0", "192.0.2"), std::invalid_argument);
}

TEST_F(NetworkInfoTest, DefaultRouteWithLowestMetricChoosesTheInterface)
{
    std::string table = dir.File("route");
    OrvPlatform::Settings::SetRouteTablePath(table);
    WriteFile(table, std::string(ROUTE_HEADER) +
                         "eth9\t000200C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0\n"    // not a default route
                         "down0\t00000000\t010200C0\t0002\t0\t0\t0\t00000000\t0\t0\t0\n"   // not up
                         "far0\t00000000\t010200C0\t0003\t0\t0\t20\t00000000\t0\t0\t0\n"
                         "lo\t00000000\t010200C0\t0003\t0\t0\t5\t00000000\t0\t0\t0\n");
    EXPECT_EQ(ManagementAddress(), "127.0.0.1");

    WriteFile(table, std::string(ROUTE_HEADER) + "eth9\t000200C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0\n");
    EXPECT_THROW(Management(), NetworkConfigException);
    WriteFile(table, std::string(ROUTE_HEADER) + "nosuch7\t00000000\t010200C0\t0003\t0\t0\t0\t00000000\t0\t0\t0\n");
    EXPECT_THROW(Management(), NetworkConfigException);
    RemoveTree(table);
    EXPECT_THROW(Management(), NetworkConfigException);
}

TEST_F(NetworkInfoTest, UnknownOrAddresslessInterfacesThrow)
{
    OrvPlatform::Settings::SetManagementInterface("nosuch7");
    EXPECT_THROW(Management(), NetworkConfigException);
    NetworkInterface gone("nosuch7");
    try {
        gone.GetIpConfig();
        ADD_FAILURE() << "no exception";
    } catch (const NetworkConfigException& e) {
        EXPECT_STREQ(e.what(), "Network interface 'nosuch7' has no IPv4 address");
    }
}

TEST_F(NetworkInfoTest, HostDefaultRouteInterfaceHasAnAddress)
{
    std::string routes = ReadFile(OrvPlatform::Settings::DEFAULT_ROUTE_TABLE_PATH);
    if (routes.find("\t00000000\t") == std::string::npos) {
        GTEST_SKIP() << "this host has no IPv4 default route";
    }
    auto interface = Management();
    EXPECT_FALSE(interface->GetName().empty());
    EXPECT_NE(interface->GetIpConfig().GetIpv4Address().GetValue(), 0u);
}

}  // namespace
