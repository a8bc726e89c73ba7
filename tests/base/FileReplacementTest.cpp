// Leftover temporary files of a replaced file: only this user's, of the
// writer's own pattern, and only those no writer holds are removed.
#include "base/FileReplacement.h"
#include "common/Files.h"

#include <gtest/gtest.h>

#include <sys/file.h>
#include <unistd.h>

namespace {

using orvauth_test::ListDirectory;

TEST(FileReplacement, NextWriteRemovesOnlyAbandonedTemporariesOfItsOwnPattern)
{
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to give a file to another user";
    }
    orvauth_test::TempDir dir;
    const std::vector<std::string> names{".hosts.Ab12Cd", ".hosts.Held01", ".hosts.Other1", ".hosts.tooLong1",
                                         "hosts.Xy34Zw", "hosts"};
    for (const std::string& name : names) {
        orvauth_test::WriteFile(dir.File(name), "old");
    }
    ASSERT_EQ(::chown(dir.File(".hosts.Other1").c_str(), 1234, 1234), 0);
    const int held = ::open(dir.File(".hosts.Held01").c_str(), O_RDONLY);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);  // a writer still at work

    const orvauth_base::ReplacementFailure failure = orvauth_base::ReplaceFile(dir.File("hosts"), "new\n", 0644);
    ::close(held);
    EXPECT_EQ(failure.error, 0);
    EXPECT_EQ(ListDirectory(dir.Path()),
              (std::vector<std::string>{".hosts.Held01", ".hosts.Other1", ".hosts.tooLong1", "hosts", "hosts.Xy34Zw"}));
    EXPECT_EQ(orvauth_test::ReadFile(dir.File("hosts")), "new\n");
}

}  // namespace
