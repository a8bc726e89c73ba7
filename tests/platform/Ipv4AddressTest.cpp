#include <platform/Ipv4Address.h>

#include <gtest/gtest.h>

using NodeCtl::Network::Ipv4Address;

namespace {

TEST(Ipv4AddressTest, AcceptsOnlyStrictDottedQuadsInNetworkOrder)
{
    for (const std::string text : {"0.0.0.0", "192.0.2.10", "255.255.255.255"}) {
        EXPECT_TRUE(Ipv4Address::IsValidAddress(text)) << text;
        EXPECT_EQ(Ipv4Address(text).GetStringAddress(), text);
    }
    for (const std::string text : {"", "1.2.3", "1.2.3.4.5", "256.1.1.1", "01.2.3.4", " 1.2.3.4", "1..3.4",
                                   "0x7f.0.0.1", "+1.2.3.4", "1.2.3.4a", "4294967295"}) {
        EXPECT_FALSE(Ipv4Address::IsValidAddress(text)) << text;
        EXPECT_THROW(Ipv4Address{text}, NodeCtl::Lib::NodeCtlException) << text;
    }
    EXPECT_FALSE(Ipv4Address::IsValidAddress(std::string("1.2.3.4\0", 8)));
    EXPECT_EQ(Ipv4Address(0x7f000001u).GetStringAddress(), "127.0.0.1");
    EXPECT_EQ(Ipv4Address("192.0.2.200").GetValue(), 0xc00002c8u);
}

}  // namespace
