// The adcli runner, with a shell standing in for adcli: each run has a
// private TMPDIR that goes with it, and one left by a process killed during
// a run goes with the next clean-up while a running one's is kept.
#include "adclient/AdcliProcess.h"
#include "common/Files.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

using namespace std::chrono;
using orvauth_test::FileExists;

namespace {

TEST(AdcliProcess, PrivateTemporaryDirectoriesGoWithTheirRunOrTheNextCleanUp)
{
    char abandoned[] = "/tmp/adclient-XXXXXX";  // as a killed process leaves it: held by nobody
    ASSERT_NE(::mkdtemp(abandoned), nullptr);
    orvauth_test::TempDir dir;
    const std::string started = dir.File("started");
    std::thread running([&] {
        adclient::AdcliProgram("/bin/sh").Run({"-c", "echo $TMPDIR > " + started + "; sleep 1"}, nullptr, seconds(10));
    });
    std::string held;
    for (int i = 0; i < 500 && (held.empty() || held.back() != '\n'); ++i) {
        std::this_thread::sleep_for(milliseconds(10));
        held = FileExists(started) ? orvauth_test::ReadFile(started) : "";
    }
    ASSERT_FALSE(held.empty());
    held.pop_back();
    adclient::RemoveAbandonedScratchDirectories();
    EXPECT_FALSE(FileExists(abandoned));
    EXPECT_TRUE(FileExists(held));
    running.join();
    EXPECT_FALSE(FileExists(held));
}

}  // namespace
