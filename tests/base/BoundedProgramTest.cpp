// The one program runner, with shells standing in for programs that behave
// badly: each run must end soon after its bound however the program treats
// its pipes and signals, and leave nothing of it running.
#include "base/BoundedProgram.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <fstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace orvauth_base;
using namespace std::chrono;

namespace {

const std::string SH = "/bin/sh";

// True once the process is gone or a zombie, within two seconds.
bool Ends(pid_t pid)
{
    for (int i = 0; i < 200; ++i, std::this_thread::sleep_for(milliseconds(10))) {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string number, name, state;
        if (!(stat >> number >> name >> state) || state == "Z") {
            return true;
        }
    }
    return false;
}

TEST(BoundedProgram, ReportsWhatTheProgramDidAndEndsSoonAfterTheBound)
{
    const std::vector<std::string> environment{"GREETING=hello"};
    const std::string bigSecret(256 * 1024, 's');  // more than a pipe holds
    const struct {
        const char* name;
        std::vector<std::string> argv;
        const std::vector<std::string>* environment;
        const char* secret;
        int error, status, signal;
        bool timedOut;
        std::string output, errors;
    } cases[] = {
        {"separate streams", {SH, "-c", "echo $GREETING; echo oops >&2; exit 3"}, &environment, nullptr,
         0, 3, 0, false, "hello\n", "oops\n"},
        {"secret on standard input", {SH, "-c", "read line; echo \"[$line]\""}, nullptr, "pass word",
         0, 0, 0, false, "[pass word]\n", ""},
        {"empty standard input", {SH, "-c", "read line || echo no input"}, nullptr, nullptr, 0, 0, 0, false,
         "no input\n", ""},
        {"standard input closed unread", {SH, "-c", "exec <&-; sleep 0.1; echo closed"}, nullptr, bigSecret.c_str(),
         0, 0, 0, false, "closed\n", ""},
        {"killed by a signal", {SH, "-c", "kill -USR1 $$"}, nullptr, nullptr, 0, -1, SIGUSR1, false, "", ""},
        {"output beyond the limit", {SH, "-c", "head -c 100000 /dev/zero"}, nullptr, nullptr, 0, 0, 0, false,
         std::string(64 * 1024, '\0'), ""},
        {"output closed, lingers", {SH, "-c", "echo started; exec >&- 2>&- sleep 30"}, nullptr, nullptr,
         0, -1, SIGTERM, true, "started\n", ""},
        {"ignores SIGTERM", {SH, "-c", "trap '' TERM; exec sleep 30"}, nullptr, nullptr, 0, -1, SIGKILL, true, "", ""},
        {"cannot start", {"/nonexistent/program"}, nullptr, nullptr, ENOENT, -1, 0, false, "", ""},
    };
    for (const auto& c : cases) {
        ProgramOutcome outcome;
        const auto started = steady_clock::now();
        EXPECT_EQ(RunBoundedProgram(c.argv, c.environment, milliseconds(300), outcome, c.secret), c.error) << c.name;
        EXPECT_LT(steady_clock::now() - started, seconds(5)) << c.name;
        EXPECT_EQ(outcome.status, c.status) << c.name;
        EXPECT_EQ(outcome.signal, c.signal) << c.name;
        EXPECT_EQ(outcome.timedOut, c.timedOut) << c.name;
        EXPECT_EQ(outcome.output, c.output) << c.name;
        EXPECT_EQ(outcome.errors, c.errors) << c.name;
    }
    sigset_t pending;
    ASSERT_EQ(::sigpending(&pending), 0);
    EXPECT_FALSE(sigismember(&pending, SIGPIPE)) << "the closed standard input raised SIGPIPE here";
}

TEST(BoundedProgram, WhatTheProgramLeavesRunningIsKilledAndItDiesWithItsCaller)
{
    // A helper that holds both output pipes: the run ends with the program.
    ProgramOutcome outcome;
    ASSERT_EQ(RunBoundedProgram({SH, "-c", "sleep 30 & echo $!"}, nullptr, seconds(10), outcome), 0);
    EXPECT_EQ(outcome.status, 0);
    EXPECT_FALSE(outcome.timedOut);
    EXPECT_TRUE(Ends(std::stoi("0" + outcome.output))) << "the helper outlived the run";

    // A caller killed during the run: its program goes with it.
    const pid_t caller = ::fork();
    ASSERT_GE(caller, 0);
    if (caller == 0) {
        RunBoundedProgram({SH, "-c", "exec sleep 30"}, nullptr, seconds(60), outcome);
        ::_exit(0);
    }
    const std::string task = "/proc/" + std::to_string(caller) + "/task/" + std::to_string(caller) + "/children";
    pid_t program = 0;
    for (int i = 0; i < 500 && program == 0; ++i, std::this_thread::sleep_for(milliseconds(10))) {
        std::ifstream(task) >> program;
    }
    ASSERT_NE(program, 0);
    ASSERT_EQ(::kill(caller, SIGKILL), 0);
    ASSERT_EQ(::waitpid(caller, nullptr, 0), caller);
    EXPECT_TRUE(Ends(program)) << "the program outlived its caller";
}

}  // namespace
