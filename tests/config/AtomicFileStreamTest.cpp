// Atomic replacement: the target shows either its old or its complete new
// content with its old mode and owner, and no failure leaves a temporary file.
#include "common/Files.h"
#include "common/MessageOf.h"

#include <orvane/authentication/Configuration.h>
#include <orvane/authentication/Exceptions.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace orvane::authentication;
using namespace orvauth_test;
using Names = std::vector<std::string>;

namespace {

class AtomicReplace : public ::testing::Test {
protected:
    TempDir dir;
    std::string target = dir.File("target.conf");

    void Replace(const std::string& path, const std::string& content)
    {
        AtomicFileStream stream(path.c_str(), std::ios_base::out);
        stream << content;
        stream.Commit();
    }
};

TEST_F(AtomicReplace, KeepsModeOwnerAndGroupAndNewTargetsArePrivate)
{
    WriteFile(target, "old");
    ::chmod(target.c_str(), 0640);
    const bool root = ::geteuid() == 0;  // only root can give a file away
    if (root) {
        ASSERT_EQ(::chown(target.c_str(), 65534, 65534), 0);
    }
    Replace(target, "new");
    struct stat info;
    ASSERT_EQ(::stat(target.c_str(), &info), 0);
    EXPECT_EQ(ReadFile(target), "new");
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(info.st_uid, root ? 65534u : ::geteuid());
    EXPECT_EQ(info.st_gid, root ? 65534u : ::getegid());

    Replace(dir.File("fresh.conf"), "x");
    EXPECT_EQ(FileMode(dir.File("fresh.conf")), 0600u);
}

TEST_F(AtomicReplace, ALinkStaysALinkAndItsTargetIsReplaced)
{
    TempDir elsewhere;
    const std::string real = elsewhere.File("real.conf");
    WriteFile(real, "old");
    ::chmod(real.c_str(), 0644);
    ASSERT_EQ(::symlink(real.c_str(), target.c_str()), 0);
    AtomicFileStream stream(target.c_str(), std::ios_base::out);
    EXPECT_EQ(stream.TargetPath(), real);
    EXPECT_EQ(stream.TemporaryPath().compare(0, real.size() + 1, real + "."), 0);
    stream << "new";
    stream.Commit();
    struct stat info;
    ASSERT_EQ(::lstat(target.c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    EXPECT_EQ(ReadFile(real), "new");
    EXPECT_EQ(FileMode(real), 0644u);
    EXPECT_EQ(ListDirectory(elsewhere.Path()), Names{"real.conf"});
}

// Each failure, and a stream never committed, leaves the target as it was
// and nothing else in the directory.
TEST_F(AtomicReplace, FailuresLeaveNothingBehind)
{
    WriteFile(target, "old");
    {
        AtomicFileStream abandoned(target.c_str(), std::ios_base::out);
        abandoned << "abandoned";
        EXPECT_EQ(ListDirectory(dir.Path()).size(), 2u);
    }
    EXPECT_EQ(ListDirectory(dir.Path()), Names{"target.conf"});
    ::unlink(target.c_str());
    const std::string nowhere = dir.File("missing/target.conf");
    EXPECT_EQ(MessageOf<IOError>([&] { AtomicFileStream stream(nowhere.c_str(), std::ios_base::out); }),
              "Unable to create temporary file to write '" + nowhere + "': " + std::strerror(ENOENT));

    ASSERT_EQ(::mkdir(target.c_str(), 0755), 0);  // rename cannot replace a directory with a file
    AtomicFileStream blocked(target.c_str(), std::ios_base::out);
    blocked << "content";
    EXPECT_EQ(MessageOf<IOError>([&] { blocked.Commit(); }), "Unable to rename '" + blocked.TemporaryPath() +
                                                                 "' to '" + target + "': " + std::strerror(EISDIR));
    EXPECT_EQ(ListDirectory(dir.Path()), Names{"target.conf"});
    ::rmdir(target.c_str());
    WriteFile(target, "old");
    AtomicFileStream broken(target.c_str(), std::ios_base::out | std::ios_base::app | std::ios_base::trunc);
    EXPECT_TRUE(broken.fail());  // the stream cannot open with that mode
    EXPECT_THROW(broken.Commit(), IOError);

    AtomicFileStream twice(target.c_str(), std::ios_base::in);  // output is added
    twice << "new";
    twice.Commit();
    EXPECT_EQ(MessageOf<IOError>([&] { twice.Commit(); }).rfind("Unable to rename '", 0), 0u);
    EXPECT_EQ(ReadFile(target), "new");
    EXPECT_EQ(ListDirectory(dir.Path()), Names{"target.conf"});
}

// A full disk, simulated by a file-size limit: the write fails with EFBIG
// (SIGXFSZ ignored), and the half-written file must not replace the target.
TEST_F(AtomicReplace, FailedWriteIsNeverPublished)
{
    const std::string good = "a = \"good\"\n";
    WriteFile(target, good);
    Configuration c(target);
    for (int i = 0; i < 200; ++i)
        c.insert({"key" + std::to_string(i), std::string(100, 'x')});
    auto handler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit old, limited;
    ::getrlimit(RLIMIT_FSIZE, &old);
    limited = old;
    limited.rlim_cur = 4096;
    ::setrlimit(RLIMIT_FSIZE, &limited);
    const std::string message = MessageOf<IOError>([&] { c.Write(); });
    ::setrlimit(RLIMIT_FSIZE, &old), std::signal(SIGXFSZ, handler);
    EXPECT_EQ(message, "Unable to write '" + target + "': " + std::strerror(EFBIG));
    EXPECT_EQ(ReadFile(target), good);
    EXPECT_EQ(ListDirectory(dir.Path()), Names{"target.conf"});
}

}  // namespace
