#include "base/BoundedProgram.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>

using namespace orvauth_base;
using namespace std::chrono_literals;

TEST(BoundedProgram, ReportsOutputStatusTimeOutAndStartFailure)
{
    const std::vector<std::string> environment{"GREETING=hello"};
    const struct {
        std::vector<std::string> argv;
        const std::vector<std::string>* environment;
        int error, status;
        bool timedOut;
        const char* output;
    } cases[] = {
        {{"/bin/sh", "-c", "echo $GREETING; echo oops >&2; exit 3"}, &environment, 0, 3, false, "hello\noops\n"},
        {{"/bin/sh", "-c", "read line || echo no input"}, nullptr, 0, 0, false, "no input\n"},
        {{"/bin/sh", "-c", "echo started; exec sleep 30"}, nullptr, 0, 128 + SIGKILL, true, "started\n"},
        {{"/nonexistent/program"}, nullptr, ENOENT, -1, false, ""},
    };
    for (const auto& c : cases) {
        ProgramOutcome outcome;
        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(RunBoundedProgram(c.argv, c.environment, 300ms, outcome), c.error) << c.argv.back();
        EXPECT_LT(std::chrono::steady_clock::now() - started, 10s) << c.argv.back();
        EXPECT_EQ(outcome.status, c.status) << c.argv.back();
        EXPECT_EQ(outcome.timedOut, c.timedOut) << c.argv.back();
        EXPECT_EQ(outcome.output, c.output) << c.argv.back();
    }
}
