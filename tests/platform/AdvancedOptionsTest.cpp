#include "PlatformFixture.h"

#include <platform/Host.h>

#include <memory>
#include <sqlite3.h>

using namespace NodeCtl;
using namespace OrvPlatform::Settings;

namespace {

using AdvancedOptionsTest = PlatformTest;
using Branch = std::unique_ptr<Adv::AdvancedOptionBranch>;
using Option = std::unique_ptr<Adv::AdvancedOption>;

const char* const VERIFY = "UserVars.ActiveDirectoryVerifyJORVCertificate";

Branch Root() { return Branch(HostFactory::GetHost()->GetAdvancedOptions()); }

// Walks the tree as a caller does and drops each branch before the option
// is used, so a dangling reference into one would show under ASan.
Option Find(const std::string& path)
{
    Branch branch = Root();
    std::string::size_type start = 0, dot;
    while (branch && (dot = path.find('.', start)) != std::string::npos) {
        branch.reset(branch->GetBranch(path.substr(start, dot - start)));
        start = dot + 1;
    }
    return Option(branch ? branch->GetOption(path.substr(start)) : nullptr);
}

template <typename Kind>
Kind* As(const Option& option)
{
    return dynamic_cast<Kind*>(option.get());
}

TEST_F(AdvancedOptionsTest, OptionsKeepTheirKindAndValue)
{
    Option option = Find(VERIFY);
    ASSERT_NE(As<Adv::AdvancedIntegerOption>(option), nullptr);
    EXPECT_EQ(option->GetPath(), VERIFY);
    EXPECT_EQ(As<Adv::AdvancedIntegerOption>(option)->GetCurrentValue(), 1);  // the default
    SetAdvancedIntegerOption(VERIFY, INT64_MIN);
    EXPECT_EQ(As<Adv::AdvancedIntegerOption>(Find(VERIFY))->GetCurrentValue(), INT64_MIN);
    SetAdvancedStringOption(VERIFY, "1");
    option = Find(VERIFY);
    EXPECT_EQ(As<Adv::AdvancedIntegerOption>(option), nullptr);
    EXPECT_EQ(As<Adv::AdvancedStringOption>(option)->GetCurrentValue(), "1");

    SetAdvancedIntegerOption("Net.Tcp.Window", 42);
    EXPECT_EQ(Find("Net.Tcp"), nullptr);  // a branch, not an option
    EXPECT_EQ(Branch(Branch(Root()->GetBranch("Net"))->GetBranch("Tcp"))->GetPath(), "Net.Tcp");
    EXPECT_EQ(Option(Root()->GetOption("Net.Tcp.Window")), nullptr);
    RemoveAdvancedOption(VERIFY);
    RemoveAdvancedOption(VERIFY);  // absent: no error
    EXPECT_EQ(Branch(Root()->GetBranch("UserVars")), nullptr);
    EXPECT_EQ(Branch(Root()->GetBranch("Ne")), nullptr);  // a prefix of a branch name is not that branch
}

// An integer option must hold an integer as stored: text such as "yes"
// would otherwise read as 0 and turn certificate verification off.
TEST_F(AdvancedOptionsTest, IntegerOptionsHoldingAnythingElseAreRefused)
{
    Find(VERIFY);  // creates the database
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(dir.File("configstore.db").c_str(), &db), SQLITE_OK);
    for (const char* value : {"'yes'", "'1'", "1.0", "x'01'"}) {
        const std::string sql = std::string("UPDATE advanced_options SET value = ") + value + " WHERE path = '" + VERIFY + "'";
        ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
        EXPECT_THROW(Find(VERIFY), Lib::NodeCtlException) << value;
    }
    sqlite3_close(db);
}

TEST_F(AdvancedOptionsTest, InvalidPathsAndUnusableDatabasesAreRefused)
{
    for (const char* path : {"", "UserVars.", ".UserVars", "User..Vars", "User-Vars.x"}) {
        EXPECT_THROW(SetAdvancedIntegerOption(path, 1), std::invalid_argument) << path;
    }
    SetConfigStorePath(dir.File("missing/configstore.db"));
    EXPECT_THROW(Root(), Lib::NodeCtlException);
    EXPECT_THROW(SetAdvancedIntegerOption("UserVars.X", 1), Lib::NodeCtlException);
}

}  // namespace
