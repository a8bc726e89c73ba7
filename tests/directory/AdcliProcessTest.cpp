// The adcli runner, with a shell standing in for adcli: a child dies with the
// process that started it, and the private TMPDIR of a killed run is removed
// by the next clean-up while a running one's is kept.
#include "adclient/AdcliProcess.h"
#include "common/Files.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using adclient::RunProgram;
using namespace std::chrono;

namespace {

// Waits up to five seconds for path to hold a complete line.
std::string AwaitLine(const std::string& path)
{
    for (int i = 0; i < 500; ++i, std::this_thread::sleep_for(milliseconds(10))) {
        const std::string text = orvauth_test::FileExists(path) ? orvauth_test::ReadFile(path) : "";
        if (!text.empty() && text.back() == '\n') {
            return text.substr(0, text.size() - 1);
        }
    }
    return "";
}

TEST(AdcliProcess, ChildDiesWithItsCallerAndItsTemporaryDirectoryIsRemovedNextTime)
{
    ASSERT_EQ(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0);  // the orphaned child comes to us to be reaped
    orvauth_test::TempDir dir;
    const std::string killedRun = dir.File("killed"), liveRun = dir.File("live");
    const pid_t caller = ::fork();
    ASSERT_GE(caller, 0);
    if (caller == 0) {
        RunProgram("/bin/sh", {"-c", "echo $$ $TMPDIR > " + killedRun + "; exec sleep 30"}, nullptr, seconds(60));
        ::_exit(0);
    }
    const std::string line = AwaitLine(killedRun);
    ASSERT_FALSE(line.empty());
    const pid_t child = std::stoi(line);
    const std::string abandoned = line.substr(line.find(' ') + 1);
    ASSERT_EQ(::kill(caller, SIGKILL), 0);
    ASSERT_EQ(::waitpid(caller, nullptr, 0), caller);

    int status = 0;
    pid_t reaped = 0;
    for (int i = 0; i < 500 && reaped == 0; ++i) {
        reaped = ::waitpid(child, &status, WNOHANG);
        std::this_thread::sleep_for(milliseconds(10));
    }
    ASSERT_EQ(reaped, child) << "the child outlived its caller";
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    EXPECT_TRUE(orvauth_test::FileExists(abandoned));

    // A run in progress keeps its directory through the clean-up.
    std::thread running([&] { RunProgram("/bin/sh", {"-c", "echo $TMPDIR > " + liveRun + "; sleep 1"}, nullptr, seconds(10)); });
    const std::string held = AwaitLine(liveRun);
    adclient::RemoveAbandonedScratchDirectories();
    EXPECT_FALSE(orvauth_test::FileExists(abandoned));
    EXPECT_TRUE(orvauth_test::FileExists(held));
    running.join();
    EXPECT_FALSE(orvauth_test::FileExists(held));
}

}  // namespace
