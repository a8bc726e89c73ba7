#include "PlatformFixture.h"

#include <platform/Ipv4Address.h>
#include <platform/ZodCtl.h>

#include <memory>

using namespace orvauth_test;
using namespace OrvPlatform::Settings;
using NodeCtl::Network::Ipv4Address;
using ZodCtl::Network::NetworkConfigException;

namespace {

using NetworkInfoTest = PlatformTest;

std::unique_ptr<ZodCtl::Network::NetworkInterface> Management()
{
    return std::unique_ptr<ZodCtl::Network::NetworkInterface>(ZodCtl::Network::NetworkInfoImpl().GetManagementInterface());
}

std::string ManagementAddress() { return Management()->GetIpConfig().GetIpv4Address().GetStringAddress(); }

// A named interface reports its kernel address or, given one, a fixed
// address; unnamed, the up default route with the lowest metric chooses.
TEST_F(NetworkInfoTest, ManagementInterfaceAndItsAddress)
{
    SetManagementInterface("lo");
    EXPECT_EQ(ManagementAddress(), "127.0.0.1");
    SetManagementInterface("mgmt0", "192.0.2.10");
    EXPECT_EQ(Management()->GetName(), "mgmt0");
    EXPECT_EQ(ManagementAddress(), "192.0.2.10");
    SetManagementInterface("nosuch7");
    EXPECT_THROW(Management(), NetworkConfigException);

    SetManagementInterface("");
    SetRouteTablePath(dir.File("route"));
    const std::string header = "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";
    const std::string notDefault = "eth9\t000200C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0\n";
    WriteFile(dir.File("route"), header + notDefault +
                                     "down0\t00000000\t010200C0\t0002\t0\t0\t0\t00000000\t0\t0\t0\n"  // not up
                                     "far0\t00000000\t010200C0\t0003\t0\t0\t20\t00000000\t0\t0\t0\n"
                                     "lo\t00000000\t010200C0\t0003\t0\t0\t5\t00000000\t0\t0\t0\n");
    EXPECT_EQ(Management()->GetName(), "lo");
    WriteFile(dir.File("route"), header + notDefault);
    EXPECT_THROW(Management(), NetworkConfigException);
}

TEST(Ipv4AddressTest, AcceptsOnlyStrictDottedQuadsInNetworkOrder)
{
    for (const std::string text : {"0.0.0.0", "192.0.2.10", "255.255.255.255"})
        EXPECT_EQ(Ipv4Address(text).GetStringAddress(), text);
    for (const std::string& text : std::vector<std::string>{"", "1.2.3", "1.2.3.4.5", "256.1.1.1", "01.2.3.4",
                                                            " 1.2.3.4", "1..3.4", "0x7f.0.0.1", "+1.2.3.4", "1.2.3.4a",
                                                            "4294967295", std::string("1.2.3.4\0", 8)}) {
        EXPECT_FALSE(Ipv4Address::IsValidAddress(text)) << text;
        EXPECT_THROW(Ipv4Address{text}, NodeCtl::Lib::NodeCtlException) << text;
    }
    EXPECT_EQ(Ipv4Address(0x7f000001u).GetStringAddress(), "127.0.0.1");
    EXPECT_EQ(Ipv4Address("192.0.2.200").GetValue(), 0xc00002c8u);
}

}  // namespace
