// Real files: this machine's PAM policies and name-service switch file, and
// the fixtures next to this test. Each must read without surprise and come
// out of a second read and write exactly as from the first.

#include "TextForms.h"
#include "common/Files.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <sys/stat.h>
#include <vector>

using namespace SystemConfiguration;

namespace {

const std::string FIXTURES = SYSCONFIG_FIXTURE_DIR;

bool IsRegularFile(const std::string& path)
{
    struct stat status;
    return stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

// Input files of a directory; "<name>.expected" files hold the written form
// of <name>.
std::vector<std::string> InputFiles(const std::string& directory)
{
    std::vector<std::string> paths;
    if (!orvauth_test::FileExists(directory))
        return paths;
    for (const std::string& name : orvauth_test::ListDirectory(directory)) {
        const std::string path = directory + "/" + name;
        const std::string suffix = ".expected";
        const bool expected = name.size() > suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
        if (!expected && IsRegularFile(path))
            paths.push_back(path);
    }
    return paths;
}

std::string FirstWord(const std::string& line)
{
    std::istringstream words(line);
    std::string word;
    words >> word;
    return word;
}

// What a line-by-line look at a PAM file predicts: the rules before the
// first line that opens with an include directive or a dashed facility,
// and that line's first word ("" when there is none).
struct PAMForecast {
    std::size_t rules = 0;
    std::string refusedWord;
};

PAMForecast ForecastPAM(const std::string& text)
{
    static const std::vector<std::string> facilities = {"account", "auth", "password", "session"};
    PAMForecast forecast;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        const std::string word = FirstWord(line);
        if (!word.empty() && (word[0] == '@' || word[0] == '-')) {
            forecast.refusedWord = word;
            break;
        }
        for (const std::string& facility : facilities)
            forecast.rules += word == facility ? 1 : 0;
    }
    return forecast;
}

std::size_t RuleCount(const PAMPolicy& policy)
{
    std::size_t rules = 0;
    for (const auto& stack : policy.GetStacks())
        rules += stack.second.size();
    return rules;
}

void CheckPAMFile(const std::string& path)
{
    SCOPED_TRACE(path);
    const std::string text = orvauth_test::ReadFile(path);
    const PAMForecast forecast = ForecastPAM(text);
    PAMPolicy policy(path);
    std::string refusal;
    try {
        sysconfig_test::ReadInto(policy, text);
    } catch (const InvalidFacilityException& e) {
        refusal = e.what();
    }
    EXPECT_EQ(refusal, forecast.refusedWord.empty() ? "" : "Invalid Facility: " + forecast.refusedWord);
    EXPECT_EQ(RuleCount(policy), forecast.rules);

    const std::string written = sysconfig_test::Write(policy);
    EXPECT_EQ(sysconfig_test::Write(sysconfig_test::ReadPolicy(written)), written);
    if (orvauth_test::FileExists(path + ".expected")) {
        EXPECT_EQ(written, orvauth_test::ReadFile(path + ".expected"));
    }
}

void CheckNSSFile(const std::string& path)
{
    SCOPED_TRACE(path);
    const std::string text = orvauth_test::ReadFile(path);
    const std::string written = sysconfig_test::Write(sysconfig_test::ReadNSS(text));
    EXPECT_EQ(sysconfig_test::Write(sysconfig_test::ReadNSS(written)), written);

    // A database with services on some line has its line exactly when it is known.
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string first, service;
        if (!(words >> first >> service) || first.back() != ':')
            continue;
        const std::string name = first.substr(0, first.size() - 1);
        bool known = true;
        try {
            NSSDatabase database(name);
        } catch (const InvalidDatabaseException&) {
            known = false;
        }
        const bool hasLine = ("\n" + written).find("\n" + name + ": ") != std::string::npos;
        EXPECT_EQ(hasLine, known) << name;
    }
    if (orvauth_test::FileExists(path + ".expected")) {
        EXPECT_EQ(written, orvauth_test::ReadFile(path + ".expected"));
    }
}

TEST(RealFilesTest, FixturePolicies)
{
    const std::vector<std::string> files = InputFiles(FIXTURES + "/pam");
    ASSERT_GE(files.size(), 4u);
    for (const std::string& path : files)
        CheckPAMFile(path);
}

TEST(RealFilesTest, FixtureNameServiceFiles)
{
    const std::vector<std::string> files = InputFiles(FIXTURES + "/nss");
    ASSERT_GE(files.size(), 2u);
    for (const std::string& path : files)
        CheckNSSFile(path);
}

TEST(RealFilesTest, ThisMachinesPolicies)
{
    const std::vector<std::string> files = InputFiles("/etc/pam.d");
    if (files.empty())
        GTEST_SKIP() << "no /etc/pam.d on this machine";
    for (const std::string& path : files)
        CheckPAMFile(path);
}

TEST(RealFilesTest, ThisMachinesNameServiceSwitch)
{
    if (!IsRegularFile("/etc/nsswitch.conf"))
        GTEST_SKIP() << "no /etc/nsswitch.conf on this machine";
    CheckNSSFile("/etc/nsswitch.conf");
}

}  // namespace
