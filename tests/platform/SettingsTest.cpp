#include "PlatformFixture.h"

#include <platform/FeatureList.h>

#include <stdexcept>

using namespace OrvPlatform;

namespace {

using SettingsTest = PlatformTest;

TEST_F(SettingsTest, ResetRestoresDefaultFeaturesAndPaths)
{
    Settings::SetFeature(57, false);
    Settings::SetFeature(3, true);
    EXPECT_EQ(*FeatureList[57], 0);
    EXPECT_TRUE(Settings::IsFeatureEnabled(3));
    EXPECT_THROW(Settings::SetFeature(FEATURE_LIST_SIZE, true), std::out_of_range);
    EXPECT_THROW(Settings::IsFeatureEnabled(FEATURE_LIST_SIZE), std::out_of_range);
    Settings::SetHostsFilePath("/tmp/h");
    Settings::SetResolvConfPath("/tmp/r");
    Settings::SetRouteTablePath("/tmp/t");
    Settings::SetConfigStoreBusyTimeout(7);
    EXPECT_THROW(Settings::SetConfigStoreBusyTimeout(-1), std::invalid_argument);
    EXPECT_EQ(Settings::GetConfigStoreBusyTimeout(), 7);

    Settings::Reset();
    for (unsigned i = 0; i < FEATURE_LIST_SIZE; ++i) {
        EXPECT_EQ(*FeatureList[i], (i == 1 || i == 57) ? 1 : 0) << i;
    }
    EXPECT_EQ(Settings::GetConfigStorePath(), "/var/lib/orvane/configstore.db");
    EXPECT_EQ(Settings::GetHostsFilePath(), "/etc/hosts");
    EXPECT_EQ(Settings::GetResolvConfPath(), "/etc/resolv.conf");
    EXPECT_EQ(Settings::GetRouteTablePath(), "/proc/net/route");
    EXPECT_EQ(Settings::GetConfigStoreBusyTimeout(), Settings::DEFAULT_BUSY_TIMEOUT_MS);
}

}  // namespace
