// The adcli runner, with a shell standing in for adcli: each run has a
// private TMPDIR that goes with it, and one left by a process killed during
// a run goes with the next clean-up while a running one's is kept.
#include "adclient/AdcliProcess.h"
#include "common/Files.h"
#include "common/Recorders.h"
#include "common/StatusError.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

using namespace std::chrono;
using orvauth_test::FileExists;
using orvauth_test::LoggedLines;

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

// A run stopped at its bound fails with 10060 and one log line; over LDAPS
// the line names adcli's TCP 389 ping, which is what hangs it there.
TEST(AdcliProcess, ARunStoppedAtItsBoundSaysWhyOverLdaps)
{
    for (const bool ldaps : {false, true}) {
        orvauth_test::ClearLoggedLines();
        std::vector<std::string> arguments{"-c", "sleep 5"};
        if (ldaps) {
            arguments.push_back("--use-ldaps");
        }
        try {
            adclient::AdcliProgram("/bin/sh").Succeed(adclient::AdcliCommand::Join, arguments, nullptr,
                                                      seconds(1));
            ADD_FAILURE() << "no failure";
        } catch (const orvauth_plugin::StatusError& error) {
            EXPECT_EQ(error.status, ORVAUTH_STATUS_TIMED_OUT);
        }
        ASSERT_EQ(LoggedLines().size(), 1u);
        EXPECT_EQ(LoggedLines()[0].text.find("no answer within 1 s") != std::string::npos, true);
        EXPECT_EQ(LoggedLines()[0].text.find("let the host reach the controller's TCP port 389") != std::string::npos,
                  ldaps);
    }
}

}  // namespace
