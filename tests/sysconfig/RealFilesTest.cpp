// Real files: this machine's PAM policies and name-service switch file, and
// the fixtures next to this test. Each must read without surprise and come
// out of a second read and write exactly as from the first; "<name>.expected"
// holds the written form of <name> where we pin it byte for byte.

#include "TestSupport.h"
#include "common/Files.h"

#include <filesystem>
#include <vector>

using namespace SystemConfiguration;
using namespace sysconfig_test;

namespace {

const std::string FIXTURES = SYSCONFIG_FIXTURE_DIR;

std::vector<std::string> InputFiles(const std::string& directory)
{
    std::vector<std::string> paths;
    std::error_code ignored;  // a machine without the directory has no files to offer
    for (const auto& entry : std::filesystem::directory_iterator(directory, ignored))
        if (entry.is_regular_file() && entry.path().extension() != ".expected")
            paths.push_back(entry.path());
    return paths;
}

void CheckStableAndAsExpected(const std::string& path, const std::string& written, const std::string& rewritten)
{
    EXPECT_EQ(rewritten, written);
    if (orvauth_test::FileExists(path + ".expected")) {
        EXPECT_EQ(written, orvauth_test::ReadFile(path + ".expected"));
    }
}

// A line-by-line forecast: the rules before the first line opening with an
// include directive or a dashed facility are read, and that line's first
// word is refused.
void CheckPAMFile(const std::string& path)
{
    SCOPED_TRACE(path);
    const std::string text = orvauth_test::ReadFile(path);
    std::size_t rules = 0;
    std::string refused;
    std::istringstream lines(text);
    for (std::string line, word; refused.empty() && std::getline(lines, line);) {
        word.clear();
        std::istringstream(line) >> word;
        if (!word.empty() && (word[0] == '@' || word[0] == '-'))
            refused = "Invalid Facility: " + word;
        else
            rules += word == "account" || word == "auth" || word == "password" || word == "session";
    }
    PAMPolicy policy(path);
    EXPECT_EQ(MessageOf<InvalidFacilityException>([&] { ReadInto(policy, text); }), refused);
    std::size_t read = 0;
    for (const auto& stack : policy.GetStacks())
        read += stack.second.size();
    EXPECT_EQ(read, rules);
    const std::string written = Write(policy);
    if (refused.empty()) {
        EXPECT_EQ(ReadThenWrite(text, PAMPolicy(path)), written);
    }
    CheckStableAndAsExpected(path, written, Write(Read(written, PAMPolicy("p"))));
}

TEST(RealFilesTest, PAMPoliciesOfTheFixturesAndThisMachine)
{
    std::vector<std::string> files = InputFiles(FIXTURES + "/pam");
    ASSERT_GE(files.size(), 4u);
    for (const std::string& path : InputFiles("/etc/pam.d"))
        files.push_back(path);
    for (const std::string& path : files)
        CheckPAMFile(path);
}

TEST(RealFilesTest, NameServiceFilesOfTheFixturesAndThisMachine)
{
    std::vector<std::string> files = InputFiles(FIXTURES + "/nss");
    ASSERT_GE(files.size(), 2u);
    if (std::filesystem::is_regular_file("/etc/nsswitch.conf"))
        files.push_back("/etc/nsswitch.conf");
    for (const std::string& path : files) {
        SCOPED_TRACE(path);
        const std::string written = ReadThenWrite(orvauth_test::ReadFile(path), NSSConfiguration());
        CheckStableAndAsExpected(path, written, Write(Read(written, NSSConfiguration())));
    }
}

}  // namespace
