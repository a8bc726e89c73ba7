#include "TestSupport.h"

#include <orvane/authentication/Exceptions.h>

#include <type_traits>

using namespace SystemConfiguration;
using namespace sysconfig_test;

namespace {

// Clients catch these apart from the library's own exception family.
template <typename E>
constexpr bool OutsideTheLibraryRoot = std::is_base_of<std::exception, E>::value &&
                                       !std::is_base_of<orvane::authentication::Exception, E>::value;
static_assert(OutsideTheLibraryRoot<InvalidControlException> && OutsideTheLibraryRoot<InvalidFacilityException> &&
                  OutsideTheLibraryRoot<InvalidDatabaseException>, "");

TEST(PAMControlTest, NamedControls)
{
    ExpectNameTable<InvalidControlException, PAMControl, PAMControl::Control>(
        "Invalid Control: ", PAMControl::Substack, 42, {"", "[", "[abc", "abc]", "required "});
    EXPECT_EQ(static_cast<std::string>(PAMControl(PAMControl::Sufficient)), "sufficient");
    EXPECT_EQ(static_cast<std::string>(PAMControl(PAMControl::Required, "garbage")), "required");
}

// A bracketed control keeps its text and compares it byte for byte.
TEST(PAMControlTest, BracketedControls)
{
    for (const char* text : {"[success=1 default=ignore]", "[]", "[x]y]"}) {
        EXPECT_EQ(static_cast<PAMControl::Control>(PAMControl(std::string(text))), PAMControl::Bracketed);
        EXPECT_EQ(static_cast<std::string>(PAMControl(std::string(text))), text);
    }
    PAMControl bracketed(PAMControl::Bracketed, "[success=1]");
    EXPECT_THROW(bracketed = std::string("[abc"), InvalidControlException);
    EXPECT_TRUE(bracketed == std::string("[success=1]"));
    EXPECT_FALSE(bracketed == std::string("[success=1 ]"));
    EXPECT_FALSE(bracketed == PAMControl(std::string("[success=2]")));
    EXPECT_FALSE(bracketed == PAMControl(PAMControl::Required));
    EXPECT_TRUE(PAMControl(PAMControl::Required) == PAMControl(PAMControl::Required, "any text"));
    bracketed = PAMControl::Bracketed;
    EXPECT_EQ(static_cast<std::string>(bracketed), "");
}

TEST(PAMFacilityTest, NamedFacilities)
{
    ExpectNameTable<InvalidFacilityException, PAMFacility, PAMFacility::Facility>(
        "Invalid Facility: ", PAMFacility::Session, 9, {"-session", "@include", "", "auth "});
    EXPECT_TRUE(PAMFacility(std::string("auth")) == PAMFacility::Auth);
}

// Entries ignore the texts of bracketed controls but nothing else.
TEST(PAMEntryTest, EqualityComparesControlKindsModulesAndArguments)
{
    PAMEntry a(PAMControl(std::string("[success=1 default=ignore]")), "pam_unix.so");
    PAMEntry b(PAMControl(std::string("[success=2]")), "pam_unix.so");
    a.parameters() = b.parameters() = {"nullok", "try_first_pass"};
    EXPECT_TRUE(a == b);
    PAMEntry reordered = b;
    reordered.parameters().reverse();
    for (const PAMEntry& other : {reordered, PAMEntry(PAMControl(PAMControl::Required), "pam_unix.so")})
        EXPECT_FALSE(a == other);
}

TEST(PAMStackTest, FindReturnsTheFirstWholeNameMatchAndPoliciesHoldOneStackPerFacility)
{
    PAMPolicy policy("login");
    PAMStack& stack = policy[PAMFacility::Auth];
    EXPECT_EQ(&policy[PAMFacility(std::string("auth"))], &stack);
    stack.push_back(PAMEntry(PAMControl(PAMControl::Required), "pam_env.so"));
    stack.push_back(PAMEntry(PAMControl(PAMControl::Sufficient), "pam_unix.so"));
    stack.push_back(PAMEntry(PAMControl(PAMControl::Required), "pam_unix.so"));
    EXPECT_EQ(stack.find("pam_unix.so"), stack.begin() + 1);
    EXPECT_EQ(stack.find("pam_unix"), stack.end());
    EXPECT_EQ(policy.GetStacks().size(), 1u);
}

}  // namespace
