#include "PlatformFixture.h"

#include <platform/Host.h>

#include <memory>

using namespace NodeCtl;
using OrvPlatform::Settings::RemoveAdvancedOption;
using OrvPlatform::Settings::SetAdvancedIntegerOption;
using OrvPlatform::Settings::SetAdvancedStringOption;

namespace {

using AdvancedOptionsTest = PlatformTest;

// Walks the tree as a caller does and drops the branches before the option
// is used, so a dangling reference into them would show under ASan.
std::unique_ptr<Adv::AdvancedOption> Lookup(const std::string& branchName, const std::string& optionName)
{
    std::unique_ptr<Adv::AdvancedOptionBranch> root(HostFactory::GetHost()->GetAdvancedOptions());
    if (!root) {
        return nullptr;
    }
    std::unique_ptr<Adv::AdvancedOptionBranch> branch(root->GetBranch(branchName));
    if (!branch) {
        return nullptr;
    }
    return std::unique_ptr<Adv::AdvancedOption>(branch->GetOption(optionName));
}

int64_t IntegerValue(const std::unique_ptr<Adv::AdvancedOption>& option)
{
    auto integer = dynamic_cast<Adv::AdvancedIntegerOption*>(option.get());
    if (integer == nullptr) {
        throw std::logic_error("not an integer option");
    }
    return integer->GetCurrentValue();
}

TEST_F(AdvancedOptionsTest, VerifyCertificateOptionDefaultsToOne)
{
    auto option = Lookup("UserVars", "ActiveDirectoryVerifyJORVCertificate");
    ASSERT_NE(option, nullptr);
    EXPECT_EQ(option->GetPath(), "UserVars.ActiveDirectoryVerifyJORVCertificate");
    EXPECT_EQ(IntegerValue(option), 1);
    EXPECT_EQ(HostFactory::GetHost(), HostFactory::GetHost());
}

TEST_F(AdvancedOptionsTest, OptionsKeepTheirKindAndValue)
{
    SetAdvancedIntegerOption("UserVars.ActiveDirectoryVerifyJORVCertificate", 0);
    EXPECT_EQ(IntegerValue(Lookup("UserVars", "ActiveDirectoryVerifyJORVCertificate")), 0);
    SetAdvancedIntegerOption("UserVars.ActiveDirectoryVerifyJORVCertificate", INT64_MIN);
    EXPECT_EQ(IntegerValue(Lookup("UserVars", "ActiveDirectoryVerifyJORVCertificate")), INT64_MIN);

    SetAdvancedStringOption("UserVars.ActiveDirectoryVerifyJORVCertificate", "1");
    auto option = Lookup("UserVars", "ActiveDirectoryVerifyJORVCertificate");
    ASSERT_NE(option, nullptr);
    EXPECT_EQ(dynamic_cast<Adv::AdvancedIntegerOption*>(option.get()), nullptr);
    auto text = dynamic_cast<Adv::AdvancedStringOption*>(option.get());
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->GetCurrentValue(), "1");

    SetAdvancedIntegerOption("Net.Tcp.Window", 42);
    std::unique_ptr<Adv::AdvancedOptionBranch> root(HostFactory::GetHost()->GetAdvancedOptions());
    std::unique_ptr<Adv::AdvancedOptionBranch> net(root->GetBranch("Net"));
    ASSERT_NE(net, nullptr);
    EXPECT_EQ(std::unique_ptr<Adv::AdvancedOption>(net->GetOption("Tcp")), nullptr);  // a branch, not an option
    std::unique_ptr<Adv::AdvancedOptionBranch> tcp(net->GetBranch("Tcp"));
    ASSERT_NE(tcp, nullptr);
    EXPECT_EQ(tcp->GetPath(), "Net.Tcp");
    EXPECT_EQ(IntegerValue(std::unique_ptr<Adv::AdvancedOption>(tcp->GetOption("Window"))), 42);
    EXPECT_EQ(std::unique_ptr<Adv::AdvancedOption>(root->GetOption("Net.Tcp.Window")), nullptr);
}

TEST_F(AdvancedOptionsTest, RemovedOptionsAndEmptyBranchesAreMissing)
{
    RemoveAdvancedOption("UserVars.ActiveDirectoryVerifyJORVCertificate");
    RemoveAdvancedOption("UserVars.ActiveDirectoryVerifyJORVCertificate");  // absent: no error
    std::unique_ptr<Adv::AdvancedOptionBranch> root(HostFactory::GetHost()->GetAdvancedOptions());
    EXPECT_EQ(std::unique_ptr<Adv::AdvancedOptionBranch>(root->GetBranch("UserVars")), nullptr);

    SetAdvancedIntegerOption("UserVars.Other", 3);
    EXPECT_NE(Lookup("UserVars", "Other"), nullptr);
    EXPECT_EQ(Lookup("UserVars", "ActiveDirectoryVerifyJORVCertificate"), nullptr);
    // A prefix of a branch name is not that branch.
    EXPECT_EQ(std::unique_ptr<Adv::AdvancedOptionBranch>(root->GetBranch("User")), nullptr);
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
    OrvPlatform::Settings::SetConfigStorePath(dir.File("missing/configstore.db"));
    EXPECT_THROW(delete HostFactory::GetHost()->GetAdvancedOptions(), Lib::NodeCtlException);
    EXPECT_THROW(SetAdvancedIntegerOption("UserVars.X", 1), Lib::NodeCtlException);

    // A branch made while the database was fine fails on lookup once it is gone.
    OrvPlatform::Settings::SetConfigStorePath(dir.File("configstore.db"));
    std::unique_ptr<Adv::AdvancedOptionBranch> root(HostFactory::GetHost()->GetAdvancedOptions());
    orvauth_test::RemoveTree(dir.File("configstore.db"));
    orvauth_test::WriteFile(dir.File("configstore.db"), std::string(4096, 'x'));
    EXPECT_THROW(delete root->GetBranch("UserVars"), Lib::NodeCtlException);
}

}  // namespace
