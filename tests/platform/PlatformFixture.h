// Every platform test starts from default settings with its own database.
#pragma once

#include "common/Files.h"

#include <platform/PlatformSettings.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

class PlatformTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        OrvPlatform::Settings::Reset();
        OrvPlatform::Settings::SetConfigStorePath(dir.File("configstore.db"));
    }
    void TearDown() override { OrvPlatform::Settings::Reset(); }

    orvauth_test::TempDir dir;
};
