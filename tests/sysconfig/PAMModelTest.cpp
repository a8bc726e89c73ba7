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

TEST(PAMControlTest, TextsParseToTheirKindAndConvertBack)
{
    const std::pair<const char*, PAMControl::Control> cases[] = {
        {"required", PAMControl::Required},     {"requisite", PAMControl::Requisite},
        {"sufficient", PAMControl::Sufficient}, {"optional", PAMControl::Optional},
        {"include", PAMControl::Include},       {"substack", PAMControl::Substack},
        {"[success=1 default=ignore]", PAMControl::Bracketed},
        {"[]", PAMControl::Bracketed},          {"[x]y]", PAMControl::Bracketed}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        PAMControl assigned(PAMControl::Optional);
        assigned = std::string(c.first);
        for (const PAMControl& control : {PAMControl(std::string(c.first)), assigned}) {
            EXPECT_EQ(static_cast<PAMControl::Control>(control), c.second);
            EXPECT_EQ(static_cast<std::string>(control), c.first);
        }
    }
}

// Names are case-sensitive and never trimmed; comparing with an unknown
// text throws rather than answering false.
TEST(PAMControlTest, UnknownTextsAndUnnamedValuesThrow)
{
    ExpectUnknownNames<InvalidControlException>("Invalid Control: ", PAMControl(PAMControl::Required),
                                                {"Required", "", "[", "[abc", "abc]", "required ", "bogus"},
                                                {PAMControl::Unset, PAMControl::Control(42)});
    PAMControl bracketed(PAMControl::Bracketed, "[keep me]");
    EXPECT_THROW(bracketed = std::string("[abc"), InvalidControlException);
    EXPECT_EQ(static_cast<std::string>(bracketed), "[keep me]");
    // The kept text belongs to bracketed controls only.
    EXPECT_EQ(static_cast<std::string>(PAMControl(PAMControl::Required, "garbage")), "required");
    bracketed = PAMControl::Bracketed;
    EXPECT_EQ(static_cast<std::string>(bracketed), "");
}

TEST(PAMControlTest, Comparisons)
{
    const PAMControl required(PAMControl::Required);
    const PAMControl bracketed(std::string("[success=1]"));
    EXPECT_TRUE(required == PAMControl(PAMControl::Required, "any text"));
    EXPECT_FALSE(required == PAMControl(PAMControl::Requisite));
    EXPECT_FALSE(required == bracketed);
    EXPECT_FALSE(bracketed == required);
    EXPECT_TRUE(bracketed == PAMControl(std::string("[success=1]")));
    EXPECT_FALSE(bracketed == PAMControl(std::string("[success=2]")));

    EXPECT_TRUE(required == std::string("required"));
    EXPECT_FALSE(required == std::string("requisite"));
    EXPECT_FALSE(required == std::string("[required]"));
    // A bracketed control compares bytes and never parses its argument.
    EXPECT_TRUE(bracketed == std::string("[success=1]"));
    EXPECT_FALSE(bracketed == std::string("[success=1 ]"));
    EXPECT_FALSE(bracketed == std::string("not a control"));
}

TEST(PAMFacilityTest, NamesLookUpCaseSensitivelyToFixedNumbers)
{
    const std::pair<const char*, int> names[] = {{"account", 1}, {"auth", 2}, {"password", 3}, {"session", 4}};
    for (const auto& name : names) {
        const PAMFacility facility{std::string(name.first)};
        EXPECT_EQ(static_cast<int>(facility), name.second);
        EXPECT_EQ(static_cast<std::string>(facility), name.first);
    }
    ExpectUnknownNames<InvalidFacilityException>("Invalid Facility: ", PAMFacility(PAMFacility::Password),
                                                 {"-session", "@include", "Auth", "", "auth "},
                                                 {PAMFacility::Unset, PAMFacility::Facility(9)});
    PAMFacility facility(PAMFacility::Account);
    facility = PAMFacility::Auth;
    EXPECT_TRUE(facility == PAMFacility(std::string("auth")));
    EXPECT_TRUE(facility == std::string("auth"));
    EXPECT_FALSE(facility == std::string("account"));
}

// Entries ignore the texts of bracketed controls but nothing else.
TEST(PAMEntryTest, EqualityComparesControlKindsModulesAndArguments)
{
    PAMEntry a(PAMControl(std::string("[success=1 default=ignore]")), "pam_unix.so");
    PAMEntry b(PAMControl(std::string("[success=2]")), "pam_unix.so");
    a.parameters() = b.parameters() = {"nullok", "try_first_pass"};
    EXPECT_FALSE(a.control() == b.control());
    EXPECT_TRUE(a == b);

    PAMEntry reordered = b, shorter = b;
    reordered.parameters().reverse();
    shorter.parameters().pop_back();
    for (const PAMEntry& other : {reordered, shorter, PAMEntry(PAMControl(PAMControl::Required), "pam_unix.so"),
                                  PAMEntry(PAMControl(std::string("[success=1]")), "pam_unix2.so")})
        EXPECT_FALSE(a == other);
}

TEST(PAMStackTest, FindReturnsTheFirstWholeNameMatch)
{
    PAMStack stack(PAMFacility::Auth);
    EXPECT_EQ(stack.find("pam_unix.so"), stack.end());
    stack.push_back(PAMEntry(PAMControl(PAMControl::Required), "pam_env.so"));
    stack.push_back(PAMEntry(PAMControl(PAMControl::Sufficient), "pam_unix.so"));
    stack.push_back(PAMEntry(PAMControl(PAMControl::Required), "pam_unix.so"));
    EXPECT_EQ(stack.find("pam_unix.so"), stack.begin() + 1);
    EXPECT_EQ(stack.find("pam_unix"), stack.end());
    EXPECT_EQ(stack.find("PAM_UNIX.SO"), stack.end());
    const PAMStack& constStack = stack;
    EXPECT_EQ(constStack.find("pam_env.so"), constStack.begin());
}

TEST(PAMPolicyTest, SubscriptCreatesOneStackPerFacility)
{
    PAMPolicy policy("login");
    PAMStack& auth = policy[PAMFacility::Auth];
    policy[PAMFacility::Session];
    EXPECT_EQ(&policy[PAMFacility(std::string("auth"))], &auth);
    EXPECT_EQ(static_cast<std::string>(auth.Facility()), "auth");
    EXPECT_EQ(policy.GetStacks().size(), 2u);
}

}  // namespace
