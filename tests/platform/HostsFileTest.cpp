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

TEST_F(HostsFileTest, ReplacesTheAddressLineAndKeepsEverythingElse)
{
    WriteFile(path,
              "# static table\n127.0.0.1\tlocalhost\n\n"
              "10.0.0.5 old.corp.example old   # set by hand\n"
              "10.0.0.50 other.corp.example\n"
              "  # 10.0.0.5 commented.example\n"
              "10.0.0.5 duplicate.corp.example\n"
              "::1 localhost ip6-localhost\n");
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);
    HostsFile().AddOrReplaceEntry("10.0.0.5", "node01.corp.example", {"node01"});
    EXPECT_EQ(ReadFile(path),
              "# static table\n127.0.0.1\tlocalhost\n\n"
              "10.0.0.5\tnode01.corp.example node01\n"
              "10.0.0.50 other.corp.example\n"
              "  # 10.0.0.5 commented.example\n"
              "::1 localhost ip6-localhost\n");
    EXPECT_EQ(FileMode(path), 0640u);
    EXPECT_EQ(ListDirectory(dir.Path()), (std::vector<std::string>{"hosts"}));  // no temporary left
}

TEST_F(HostsFileTest, AppendsANewAddressAndCreatesAMissingFile)
{
    WriteFile(path, "127.0.0.1 localhost");  // no final newline
    HostsFile(path).AddOrReplaceEntry("192.0.2.7", "a.example", {"a", "alias-a"});
    // IPv6 addresses match by value, not by spelling.
    HostsFile(path).AddOrReplaceEntry("0:0::1", "six.example", {});
    HostsFile(path).AddOrReplaceEntry("::1", "six.example", {"six"});
    EXPECT_EQ(ReadFile(path), "127.0.0.1 localhost\n192.0.2.7\ta.example a alias-a\n::1\tsix.example six\n");

    std::string fresh = dir.File("fresh-hosts");
    HostsFile(fresh).AddOrReplaceEntry("192.0.2.8", "b.example", {});
    EXPECT_EQ(ReadFile(fresh), "192.0.2.8\tb.example\n");
    EXPECT_EQ(FileMode(fresh), 0644u);
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
    } cases[] = {{"10.0.0", "n.example", {}},   {"node01", "n.example", {}},      {"10.0.0.1", "", {}},
                 {"10.0.0.1", "two words", {}}, {"10.0.0.1", "n#x", {}},          {"10.0.0.1", "n.example", {""}},
                 {"10.0.0.1", "n.example", {"a\tb"}}, {"10.0.0.1", "line\nbreak", {}}};
    for (const auto& c : cases) {
        EXPECT_THROW(HostsFile().AddOrReplaceEntry(c.address, c.name, c.aliases), NetworkConfigException)
            << c.address << " " << c.name;
    }
    EXPECT_EQ(ReadFile(path), "127.0.0.1 localhost\n");

    try {
        HostsFile(dir.File("gone/hosts")).AddOrReplaceEntry("10.0.0.1", "n.example", {});
        ADD_FAILURE() << "no exception";
    } catch (const NetworkConfigException& e) {
        EXPECT_THAT(e.what(), ::testing::HasSubstr(dir.File("gone/hosts")));
    }
}

}  // namespace
