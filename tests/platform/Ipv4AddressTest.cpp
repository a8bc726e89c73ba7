#include <platform/Ipv4Address.h>

#include <gtest/gtest.h>

using NodeCtl::Network::Ipv4Address;

namespace {

TEST(Ipv4AddressTest, AcceptsOnlyStrictDottedQuadsInNetworkOrder)
{
    const std::string valid[] = {"0.0.0.0", "127.0.0.1", "192.0.2.10", "255.255.255.255", "10.0.100.9"};
    const std::string invalid[] = {
        "",           "1.2.3",        "1.2.3.4.5",   "256.1.1.1",   "1.2.3.256",  "1000.1.1.1", "01.2.3.4",
        "1.2.3.04",   "1.2.3.00",     " 1.2.3.4",    "1.2.3.4 ",    "1.2.3.4\n",  "1..3.4",     "1.2.3.",
        ".1.2.3",     "0x7f.0.0.1",   "+1.2.3.4",    "-1.2.3.4",    "1.2.3.4a",   "localhost",  "::1",
        "4294967295", "1.2.3.4/24",   std::string("1.2.3.4\0", 8)};
    for (const auto& text : valid) {
        EXPECT_TRUE(Ipv4Address::IsValidAddress(text)) << text;
        EXPECT_EQ(Ipv4Address(text).GetStringAddress(), text);
    }
    for (const auto& text : invalid) {
        EXPECT_FALSE(Ipv4Address::IsValidAddress(text)) << text;
        EXPECT_THROW(Ipv4Address{text}, NodeCtl::Lib::NodeCtlException) << text;
    }
    EXPECT_EQ(Ipv4Address(0x7f000001u).GetStringAddress(), "127.0.0.1");
    EXPECT_EQ(Ipv4Address("192.0.2.200").GetValue(), 0xc00002c8u);
    EXPECT_EQ(Ipv4Address().GetStringAddress(), "0.0.0.0");
}

}  // namespace
