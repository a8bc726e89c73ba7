#include "PlatformFixture.h"

#include <platform/ZodCtl.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace orvauth_test;
using ZodCtl::Network::HostsFile;
using ZodCtl::Network::NetworkConfigException;

namespace {

class HostsFileTest : public PlatformTest {
protected:
    void SetUp() override
    {
        PlatformTest::SetUp();
        OrvPlatform::Settings::SetHostsFilePath(path);
    }

    const std::string path = dir.File("hosts");
};

// The entry for 10.0.0.5 named node01.corp.example with alias node01.
TEST_F(HostsFileTest, TheHostsNamesLeadToItsAddressAloneAndOtherNamesStay)
{
    const struct {
        const char* before;
        const char* after;
    } cases[] = {
        {"# static table\n127.0.0.1\tlocalhost\n\n10.0.0.5 old.corp.example old   # set by hand\n"
         "  # 10.0.0.5 commented.example\n10.0.0.50 other.corp.example\n",
         "# static table\n127.0.0.1\tlocalhost\n\n10.0.0.5\tnode01.corp.example node01\n"
         "  # 10.0.0.5 commented.example\n10.0.0.50 other.corp.example\n"},
        // A distribution's own line for the host name goes; a line keeping
        // other names loses only the host's.
        {"127.0.0.1 localhost NODE01\n127.0.1.1 node01.corp.example node01\n",
         "127.0.0.1\tlocalhost\n10.0.0.5\tnode01.corp.example node01\n"},
        // Other names of the address stay; the host's line is replaced in
        // place of the address's first line.
        {"10.0.0.5 backup-vip # moves\n10.0.0.5 node01 stale.example\n::1 localhost\n",
         "10.0.0.5\tnode01.corp.example node01\n10.0.0.5 backup-vip # moves\n::1 localhost\n"},
        {"127.0.0.1 localhost", "127.0.0.1 localhost\n10.0.0.5\tnode01.corp.example node01\n"},
    };
    for (const auto& c : cases) {
        WriteFile(path, c.before);
        ASSERT_EQ(chmod(path.c_str(), 0640), 0);
        HostsFile().AddOrReplaceEntry("10.0.0.5", "node01.corp.example", {"node01"});
        EXPECT_EQ(ReadFile(path), c.after) << c.before;
        EXPECT_EQ(FileMode(path), 0640u);
    }
    EXPECT_EQ(ListDirectory(dir.Path()), (std::vector<std::string>{"hosts"}));  // no temporary left
}

TEST_F(HostsFileTest, IPv6MatchesByValueAndMissingFilesAreCreated)
{
    HostsFile().AddOrReplaceEntry("0:0::1", "six.example", {});
    HostsFile().AddOrReplaceEntry("::1", "six.example", {"six"});
    EXPECT_EQ(ReadFile(path), "::1\tsix.example six\n");
    EXPECT_EQ(FileMode(path), 0644u);
}

TEST_F(HostsFileTest, ALinkedFileIsEditedThroughTheLink)
{
    std::string target = dir.File("real-hosts");
    WriteFile(target, "127.0.0.1 localhost\n");
    ASSERT_EQ(symlink(target.c_str(), path.c_str()), 0);
    HostsFile().AddOrReplaceEntry("192.0.2.9", "c.example", {"c"});
    struct stat info;
    ASSERT_EQ(lstat(path.c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    EXPECT_EQ(ReadFile(target), "127.0.0.1 localhost\n192.0.2.9\tc.example c\n");
}

TEST_F(HostsFileTest, BadEntriesAndUnwritableFilesThrowAndChangeNothing)
{
    WriteFile(path, "127.0.0.1 localhost\n");
    const struct {
        std::string address, name;
        std::vector<std::string> aliases;
    } cases[] = {{"10.0.0", "n.example", {}}, {"10.0.0.1", "two words", {}}, {"10.0.0.1", "n.example", {"a#b"}}};
    for (const auto& c : cases) {
        EXPECT_THROW(HostsFile().AddOrReplaceEntry(c.address, c.name, c.aliases), NetworkConfigException) << c.name;
    }
    EXPECT_EQ(ReadFile(path), "127.0.0.1 localhost\n");
    EXPECT_THROW(HostsFile(dir.File("gone/hosts")).AddOrReplaceEntry("10.0.0.1", "n.example", {}),
                 NetworkConfigException);
}

}  // namespace
