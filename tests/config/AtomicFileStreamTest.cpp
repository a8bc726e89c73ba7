// Atomic replacement: the target shows either its old or its complete new
// content, with its old mode, and a failed stream is never published.
#include "common/Files.h"

#include <orvane/authentication/Configuration.h>
#include <orvane/authentication/Exceptions.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace orvane::authentication;
using orvauth_test::FileMode;
using orvauth_test::ListDirectory;
using orvauth_test::ReadFile;
using orvauth_test::TempDir;
using orvauth_test::WriteFile;

namespace {

class AtomicReplace : public ::testing::Test {
protected:
    TempDir dir;
    std::string target = dir.File("target.conf");
};

TEST_F(AtomicReplace, KeepsTheOldModeAndNewTargetsGetPrivateMode)
{
    WriteFile(target, "old");
    ::chmod(target.c_str(), 0644);
    {
        AtomicFileStream stream(target.c_str(), std::ios_base::out);
        stream << "new";
        stream.Commit();
    }
    EXPECT_EQ(ReadFile(target), "new");
    EXPECT_EQ(FileMode(target), 0644u);

    const std::string fresh = dir.File("fresh.conf");
    AtomicFileStream stream(fresh.c_str(), std::ios_base::out);
    stream << "x";
    stream.Commit();
    EXPECT_EQ(FileMode(fresh), 0600u);
}

TEST_F(AtomicReplace, TemporaryFileLiesBesideTheTarget)
{
    AtomicFileStream stream(target.c_str(), std::ios_base::out);
    EXPECT_EQ(stream.TargetPath(), target);
    ASSERT_EQ(stream.TemporaryPath().size(), target.size() + 7);
    EXPECT_EQ(stream.TemporaryPath().compare(0, target.size() + 1, target + "."), 0);
}

TEST_F(AtomicReplace, UncommittedStreamLeavesTargetAndItsTemporaryFile)
{
    WriteFile(target, "old");
    {
        AtomicFileStream stream(target.c_str(), std::ios_base::out);
        stream << "abandoned";
    }
    EXPECT_EQ(ReadFile(target), "old");
    std::vector<std::string> names = ListDirectory(dir.Path());
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(names[1].substr(0, 12), "target.conf.");
    EXPECT_EQ(names[1].size(), 18u);
}

TEST_F(AtomicReplace, SecondCommitFailsToRename)
{
    AtomicFileStream stream(target.c_str(), std::ios_base::out);
    stream.Commit();
    try {
        stream.Commit();
        FAIL();
    } catch (const IOError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Unable to rename '" + stream.TemporaryPath() + "' to '" + target + "': " + std::strerror(ENOENT));
    }
}

TEST_F(AtomicReplace, MissingDirectoryCreatesNothing)
{
    const std::string nowhere = dir.File("missing/target.conf");
    try {
        AtomicFileStream stream(nowhere.c_str(), std::ios_base::out);
        FAIL();
    } catch (const IOError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Unable to create temporary file to write '" + nowhere + "': " + std::strerror(ENOENT));
    }
    EXPECT_TRUE(ListDirectory(dir.Path()).empty());
}

// A full disk, simulated by a file-size limit: the write fails with EFBIG
// (SIGXFSZ ignored), and the half-written file must not replace the target.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &old);
        struct rlimit limited = old;
        limited.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
    }

private:
    struct rlimit old;
    void (*oldHandler)(int);
};

TEST_F(AtomicReplace, FailedWriteIsNeverPublished)
{
    const std::string good = "a = \"good\"\n";
    WriteFile(target, good);
    Configuration c(target);
    for (int i = 0; i < 200; ++i) {
        c.insert({"key" + std::to_string(i), std::string(100, 'x')});
    }
    {
        FileSizeLimit limit(4096);
        try {
            c.Write();
            FAIL() << "a truncated file was published";
        } catch (const IOError& e) {
            EXPECT_EQ(std::string(e.what()), "Unable to write '" + target + "': " + std::strerror(EFBIG));
        }
    }
    EXPECT_EQ(ReadFile(target), good);
    EXPECT_EQ(ListDirectory(dir.Path()), std::vector<std::string>{"target.conf"});
}

TEST_F(AtomicReplace, StreamThatCouldNotOpenIsNotPublished)
{
    WriteFile(target, "old");
    AtomicFileStream stream(target.c_str(), std::ios_base::in);  // output is added; input on a new file is fine
    stream << "new";
    stream.Commit();
    EXPECT_EQ(ReadFile(target), "new");

    AtomicFileStream broken(target.c_str(), std::ios_base::out | std::ios_base::app | std::ios_base::trunc);
    EXPECT_TRUE(broken.fail());
    EXPECT_THROW(broken.Commit(), IOError);
    EXPECT_EQ(ReadFile(target), "new");
    EXPECT_EQ(ListDirectory(dir.Path()), std::vector<std::string>{"target.conf"});
}

}  // namespace
