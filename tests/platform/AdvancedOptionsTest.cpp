#include "PlatformFixture.h"

#include <platform/Host.h>

#include <memory>

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

int64_t IntegerValue(const std::string& path)
{
    Option option = Find(path);
    auto integer = dynamic_cast<Adv::AdvancedIntegerOption*>(option.get());
    if (integer == nullptr) {
        throw std::logic_error("no integer option " + path);
    }
    return integer->GetCurrentValue();
}

TEST_F(AdvancedOptionsTest, OptionsKeepTheirKindAndValue)
{
    Option option = Find(VERIFY);
    ASSERT_NE(option, nullptr);
    EXPECT_EQ(option->GetPath(), VERIFY);
    EXPECT_EQ(IntegerValue(VERIFY), 1);  // the default
    EXPECT_EQ(HostFactory::GetHost(), HostFactory::GetHost());
    for (int64_t value : {int64_t{0}, INT64_MIN}) {
        SetAdvancedIntegerOption(VERIFY, value);
        EXPECT_EQ(IntegerValue(VERIFY), value);
    }

    SetAdvancedStringOption(VERIFY, "1");
    option = Find(VERIFY);
    EXPECT_EQ(dynamic_cast<Adv::AdvancedIntegerOption*>(option.get()), nullptr);
    auto text = dynamic_cast<Adv::AdvancedStringOption*>(option.get());
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->GetCurrentValue(), "1");

    SetAdvancedIntegerOption("Net.Tcp.Window", 42);
    EXPECT_EQ(IntegerValue("Net.Tcp.Window"), 42);
    EXPECT_EQ(Find("Net.Tcp"), nullptr);  // a branch, not an option
    Branch net(Root()->GetBranch("Net"));
    ASSERT_NE(net, nullptr);
    Branch tcp(net->GetBranch("Tcp"));
    ASSERT_NE(tcp, nullptr);
    EXPECT_EQ(tcp->GetPath(), "Net.Tcp");
    EXPECT_EQ(Option(Root()->GetOption("Net.Tcp.Window")), nullptr);
}

TEST_F(AdvancedOptionsTest, RemovedOptionsAndEmptyBranchesAreMissing)
{
    RemoveAdvancedOption(VERIFY);
    RemoveAdvancedOption(VERIFY);  // absent: no error
    EXPECT_EQ(Branch(Root()->GetBranch("UserVars")), nullptr);

    SetAdvancedIntegerOption("UserVars.Other", 3);
    EXPECT_NE(Find("UserVars.Other"), nullptr);
    EXPECT_EQ(Find(VERIFY), nullptr);
    EXPECT_EQ(Branch(Root()->GetBranch("User")), nullptr);  // a prefix of a branch name is not that branch
}

TEST_F(AdvancedOptionsTest, InvalidPathsAreRefused)
{
    for (const char* path : {"", ".", "UserVars.", ".UserVars", "User..Vars", "User Vars", "User-Vars.x"}) {
        EXPECT_THROW(SetAdvancedIntegerOption(path, 1), std::invalid_argument) << path;
        EXPECT_THROW(SetAdvancedStringOption(path, "x"), std::invalid_argument) << path;
        EXPECT_THROW(RemoveAdvancedOption(path), std::invalid_argument) << path;
    }
    EXPECT_NO_THROW(SetAdvancedIntegerOption("Top_level1", 1));
}

TEST_F(AdvancedOptionsTest, UnusableDatabaseThrowsNodeCtlException)
{
    SetConfigStorePath(dir.File("missing/configstore.db"));
    EXPECT_THROW(Root(), Lib::NodeCtlException);
    EXPECT_THROW(SetAdvancedIntegerOption("UserVars.X", 1), Lib::NodeCtlException);

    // A branch made while the database was fine fails on lookup once it is gone.
    SetConfigStorePath(dir.File("configstore.db"));
    Branch root = Root();
    orvauth_test::RemoveTree(dir.File("configstore.db"));
    orvauth_test::WriteFile(dir.File("configstore.db"), std::string(4096, 'x'));
    EXPECT_THROW(Branch(root->GetBranch("UserVars")), Lib::NodeCtlException);
}

}  // namespace
