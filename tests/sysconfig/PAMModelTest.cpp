#include <SystemConfiguration/SystemConfiguration.h>
#include <orvane/authentication/Exceptions.h>

#include <gtest/gtest.h>

#include <string>
#include <type_traits>

using namespace SystemConfiguration;

namespace {

// The message of the exception `action` throws, or "" when it throws none.
template <typename ExceptionType, typename Action>
std::string MessageOf(Action action)
{
    try {
        action();
    } catch (const ExceptionType& e) {
        return e.what();
    }
    return "";
}

static_assert(std::is_base_of<std::exception, InvalidControlException>::value, "");
static_assert(!std::is_base_of<orvane::authentication::Exception, InvalidControlException>::value, "");
static_assert(!std::is_base_of<orvane::authentication::Exception, InvalidFacilityException>::value, "");
static_assert(!std::is_base_of<orvane::authentication::Exception, InvalidDatabaseException>::value, "");

TEST(PAMControlTest, TextsParseToTheirKindAndConvertBack)
{
    const struct {
        const char* text;
        PAMControl::Control kind;
    } cases[] = {
        {"required", PAMControl::Required},     {"requisite", PAMControl::Requisite},
        {"sufficient", PAMControl::Sufficient}, {"optional", PAMControl::Optional},
        {"include", PAMControl::Include},       {"substack", PAMControl::Substack},
        {"[success=1 default=ignore]", PAMControl::Bracketed},
        {"[]", PAMControl::Bracketed},          {"[x]y]", PAMControl::Bracketed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const PAMControl constructed(std::string(c.text));
        EXPECT_EQ(static_cast<PAMControl::Control>(constructed), c.kind);
        EXPECT_EQ(static_cast<std::string>(constructed), c.text);
        PAMControl assigned(PAMControl::Optional);
        assigned = std::string(c.text);
        EXPECT_EQ(static_cast<PAMControl::Control>(assigned), c.kind);
        EXPECT_EQ(static_cast<std::string>(assigned), c.text);
    }
}

TEST(PAMControlTest, UnknownTextsThrowAndLeaveTheTargetUnchanged)
{
    for (const std::string text : {"Required", "", "[", "[abc", "abc]", "required ", "bogus"}) {
        SCOPED_TRACE(text);
        EXPECT_EQ(MessageOf<InvalidControlException>([&] { PAMControl c(text); }), "Invalid Control: " + text);
        PAMControl target(PAMControl::Bracketed, "[keep me]");
        EXPECT_EQ(MessageOf<InvalidControlException>([&] { target = text; }), "Invalid Control: " + text);
        EXPECT_EQ(static_cast<std::string>(target), "[keep me]");
    }
}

TEST(PAMControlTest, UnnamedValuesThrowWithTheirNumberWhenTurnedIntoText)
{
    EXPECT_EQ(MessageOf<InvalidControlException>([] { std::string s = PAMControl(); }), "Invalid Control: 0");
    EXPECT_EQ(MessageOf<InvalidControlException>([] { std::string s = PAMControl(static_cast<PAMControl::Control>(42)); }),
              "Invalid Control: 42");
    // The kept text belongs to bracketed controls only.
    EXPECT_EQ(static_cast<std::string>(PAMControl(PAMControl::Required, "garbage")), "required");
    PAMControl control(std::string("[a=b]"));
    control = PAMControl::Bracketed;
    EXPECT_EQ(static_cast<std::string>(control), "");
}

TEST(PAMControlTest, ComparisonWithControls)
{
    const PAMControl required(PAMControl::Required);
    const PAMControl bracketedA(std::string("[success=1]"));
    const PAMControl bracketedB(std::string("[success=2]"));
    EXPECT_TRUE(required == PAMControl(PAMControl::Required, "any text"));
    EXPECT_FALSE(required == PAMControl(PAMControl::Requisite));
    EXPECT_FALSE(required == bracketedA);
    EXPECT_TRUE(bracketedA == PAMControl(std::string("[success=1]")));
    EXPECT_FALSE(bracketedA == bracketedB);
    EXPECT_FALSE(bracketedA == required);
    EXPECT_TRUE(PAMControl() == PAMControl());
}

TEST(PAMControlTest, ComparisonWithTexts)
{
    const PAMControl required(PAMControl::Required);
    EXPECT_TRUE(required == std::string("required"));
    EXPECT_FALSE(required == std::string("requisite"));
    EXPECT_FALSE(required == std::string("[required]"));
    EXPECT_EQ(MessageOf<InvalidControlException>([&] { (void)(required == std::string("Required")); }),
              "Invalid Control: Required");
    // A bracketed control compares bytes and never parses its argument.
    const PAMControl bracketed(std::string("[default=die]"));
    EXPECT_TRUE(bracketed == std::string("[default=die]"));
    EXPECT_FALSE(bracketed == std::string("[default=die ]"));
    EXPECT_FALSE(bracketed == std::string("not a control"));
}

TEST(PAMFacilityTest, NamesLookUpCaseSensitively)
{
    const struct {
        const char* name;
        PAMFacility::Facility value;
    } cases[] = {{"account", PAMFacility::Account}, {"auth", PAMFacility::Auth},
                 {"password", PAMFacility::Password}, {"session", PAMFacility::Session}};
    for (const auto& c : cases) {
        const PAMFacility facility{std::string(c.name)};
        EXPECT_EQ(static_cast<PAMFacility::Facility>(facility), c.value);
        EXPECT_EQ(static_cast<std::string>(facility), c.name);
        EXPECT_EQ(static_cast<int>(c.value), static_cast<int>(facility));
    }
    EXPECT_EQ(static_cast<int>(PAMFacility::Session), 4);
    for (const std::string name : {"-session", "@include", "Auth", "", "auth "}) {
        EXPECT_EQ(MessageOf<InvalidFacilityException>([&] { PAMFacility f(name); }), "Invalid Facility: " + name);
        PAMFacility target(PAMFacility::Password);
        EXPECT_EQ(MessageOf<InvalidFacilityException>([&] { target = name; }), "Invalid Facility: " + name);
        EXPECT_TRUE(target == PAMFacility::Password);
        EXPECT_EQ(MessageOf<InvalidFacilityException>([&] { (void)(target == name); }), "Invalid Facility: " + name);
    }
}

TEST(PAMFacilityTest, AssignmentComparisonAndOrder)
{
    PAMFacility facility(PAMFacility::Account);
    facility = PAMFacility::Auth;
    EXPECT_TRUE(facility == PAMFacility(std::string("auth")));
    EXPECT_TRUE(facility == std::string("auth"));
    EXPECT_FALSE(facility == std::string("account"));
    EXPECT_TRUE(PAMFacility(PAMFacility::Account) < PAMFacility(PAMFacility::Auth));
    EXPECT_EQ(MessageOf<InvalidFacilityException>([] { std::string s = PAMFacility(); }), "Invalid Facility: 0");
    EXPECT_EQ(MessageOf<InvalidFacilityException>([] { std::string s = PAMFacility(static_cast<PAMFacility::Facility>(9)); }),
              "Invalid Facility: 9");
}

TEST(PAMEntryTest, EqualityComparesControlKindsModulesAndArguments)
{
    PAMEntry a(PAMControl(std::string("[success=1 default=ignore]")), "pam_unix.so");
    PAMEntry b(PAMControl(std::string("[success=2]")), "pam_unix.so");
    a.parameters() = {"nullok", "try_first_pass"};
    b.parameters() = {"nullok", "try_first_pass"};
    EXPECT_FALSE(a.control() == b.control());
    EXPECT_TRUE(a == b);

    PAMEntry other = b;
    other.parameters().reverse();
    EXPECT_FALSE(a == other);
    other = b;
    other.parameters().pop_back();
    EXPECT_FALSE(a == other);
    EXPECT_FALSE(a == PAMEntry(PAMControl(PAMControl::Required), "pam_unix.so"));
    EXPECT_FALSE(a == PAMEntry(PAMControl(std::string("[success=1]")), "pam_unix2.so"));

    PAMEntry copy;
    copy = a;
    EXPECT_EQ(static_cast<std::string>(copy.control()), "[success=1 default=ignore]");
    EXPECT_EQ(copy.parameters(), a.parameters());
    EXPECT_TRUE(PAMEntry() == PAMEntry(PAMControl(), ""));
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

    PAMStack copy;
    copy = stack;
    EXPECT_EQ(copy.size(), 3u);
    EXPECT_TRUE(copy.Facility() == PAMFacility::Auth);
    EXPECT_TRUE(PAMStack().Facility() == PAMFacility::Unset);
}

TEST(PAMPolicyTest, SubscriptCreatesOneStackPerFacility)
{
    PAMPolicy policy("login");
    PAMStack& auth = policy[PAMFacility::Auth];
    auth.push_back(PAMEntry(PAMControl(PAMControl::Required), "pam_unix.so"));
    for (PAMFacility::Facility f : {PAMFacility::Session, PAMFacility::Account, PAMFacility::Password})
        policy[f];
    EXPECT_EQ(&policy[PAMFacility(std::string("auth"))], &auth);
    EXPECT_EQ(static_cast<std::string>(auth.Facility()), "auth");
    EXPECT_EQ(auth.size(), 1u);
    EXPECT_EQ(policy.GetName(), "login");

    std::string order;
    for (const auto& entry : policy.GetStacks())
        order += static_cast<std::string>(entry.first) + " ";
    EXPECT_EQ(order, "account auth password session ");
}

}  // namespace
