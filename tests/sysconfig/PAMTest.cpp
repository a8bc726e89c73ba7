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

TEST(PAMModelTest, NamedControlsAndFacilities)
{
    ExpectNameTable<InvalidControlException, PAMControl, PAMControl::Control>(
        "Invalid Control: ", PAMControl::Substack, 42, {"", "[", "[abc", "abc]", "required "});
    EXPECT_EQ(static_cast<std::string>(PAMControl(PAMControl::Required, "garbage")), "required");
    ExpectNameTable<InvalidFacilityException, PAMFacility, PAMFacility::Facility>(
        "Invalid Facility: ", PAMFacility::Session, 9, {"-session", "@include", "", "auth "});
}

// A bracketed control keeps its text and compares it byte for byte.
TEST(PAMModelTest, BracketedControls)
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

// Entries ignore the texts of bracketed controls but nothing else; a
// policy holds one stack per facility.
TEST(PAMModelTest, EntriesCompareControlKindsAndStacksFindWholeModuleNames)
{
    PAMEntry a(PAMControl(std::string("[success=1 default=ignore]")), "pam_unix.so");
    PAMEntry b(PAMControl(std::string("[success=2]")), "pam_unix.so");
    a.parameters() = b.parameters() = {"nullok", "try_first_pass"};
    EXPECT_TRUE(a == b);
    PAMEntry reordered = b;
    reordered.parameters().reverse();
    for (const PAMEntry& other : {reordered, PAMEntry(PAMControl(PAMControl::Required), "pam_unix.so")})
        EXPECT_FALSE(a == other);

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

const std::string HEADER = "#%PAM-1.0\n\n";

// Read, then written after the header: lines regrouped by facility in a
// fixed order, a tab before a bare line feed, a space after each argument.
TEST(PAMFormatTest, ReadThenWritten)
{
    const std::pair<std::string, std::string> cases[] = {
        {"auth   [success=1    default=ignore]  pam_unix.so  a\tb\n",
         "auth\t[success=1 default=ignore]\tpam_unix.so\ta b \n\n"},
        {"session [success=ok\n  new_authtok_reqd=ok\n ignore=ignore] pam_x.so\n",
         "session\t[success=ok new_authtok_reqd=ok ignore=ignore]\tpam_x.so\t\n\n"},
        // '#' opens a comment only as the first non-blank of a line.
        {"#%PAM-1.0\n   # indented\n\t#\nauth required pam_env.so # remark\n",
         "auth\trequired\tpam_env.so\t# remark \n\n"},
        {"session optional b.so\nauth required a.so\naccount required d.so\nauth sufficient c.so x\n",
         "account\trequired\td.so\t\n\nauth\trequired\ta.so\t\nauth\tsufficient\tc.so\tx \n\n"
         "session\toptional\tb.so\t\n\n"},
        // A missing module is the next word, wherever it is.
        {"auth required\nsession optional pam_x.so\n", "auth\trequired\tsession\toptional pam_x.so \n\n"},
        {"session required", "session\trequired\t\t\n\n"},
        {"\f\vauth\vrequired\fpam_unix.so\rarg\r\n", "auth\trequired\tpam_unix.so\targ \n\n"},
        {"# only a comment", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Write(Read(c.first, PAMPolicy("p"))), HEADER + c.second) << c.first;
}

// A failing line throws; the lines before it stay in the policy, and a
// second read adds to them rather than starting afresh. Expected: what
// escaped as a facility failure, "|", what escaped as a control failure.
TEST(PAMFormatTest, FailuresKeepTheLinesBefore)
{
    const std::string after = "auth required after.so\n";
    const std::pair<std::string, std::string> cases[] = {
        {"@include common-auth\n" + after, "Invalid Facility: @include|"},
        {"auth bogus pam_x.so\n" + after, "|Invalid Control: bogus"},
        {"auth [success=1\n  default=ignore pam_x.so\n", "|Invalid Control: [success=1 default=ignore pam_x.so"},
        {"auth", "|Invalid Control: "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        PAMPolicy policy("p");
        const std::string text = "account required before.so\n" + c.first;
        std::string control;
        const std::string facility = MessageOf<InvalidFacilityException>(
            [&] { control = MessageOf<InvalidControlException>([&] { std::istringstream(text) >> policy; }); });
        EXPECT_EQ(facility + "|" + control, c.second);
        EXPECT_EQ(Write(policy), HEADER + "account\trequired\tbefore.so\t\n\n");
        std::istringstream("account optional again.so\n") >> policy;
        EXPECT_EQ(Write(policy), HEADER + "account\trequired\tbefore.so\t\naccount\toptional\tagain.so\t\n\n");
    }
}

TEST(PAMFormatTest, FailedStreamsReadNothing)
{
    ExpectFailedStreamsReadNothing(PAMPolicy("p"), "auth required pam_unix.so\n");
    ExpectFailedStreamsReadNothing(NSSConfiguration(), "group: files\n");
}

// Reading a rule adds to the entry's arguments and stops at the rule's end.
TEST(PAMFormatTest, EntryExtractionAddsArgumentsAndStopsAtItsLine)
{
    PAMEntry entry(PAMControl(std::string("[old]")), "old.so");
    entry.parameters() = {"kept"};
    std::istringstream in(" optional\n new.so a\t b  \n  session\n");
    in >> entry;
    EXPECT_EQ(Write(entry), "optional\tnew.so\tkept a b ");
    PAMFacility facility;
    in >> facility;
    EXPECT_TRUE(facility == PAMFacility::Session);
    EXPECT_EQ(MessageOf<InvalidFacilityException>([&] { in >> facility; }), "Invalid Facility: ");
}

TEST(PAMFormatTest, WritingUnsetValuesThrowsAfterTheLinesBefore)
{
    PAMStack stack(PAMFacility::Auth);
    stack.push_back(PAMEntry(PAMControl(PAMControl::Required), "a.so"));
    stack.push_back(PAMEntry(PAMControl(), "b.so"));
    std::ostringstream out;
    EXPECT_THROW(out << stack, InvalidControlException);
    EXPECT_EQ(out.str(), "auth\trequired\ta.so\t\n");

    PAMPolicy policy("p");
    policy[PAMFacility()].push_back(PAMEntry(PAMControl(PAMControl::Required), "c.so"));
    std::ostringstream policyOut;
    EXPECT_THROW(policyOut << policy, InvalidFacilityException);
    EXPECT_EQ(policyOut.str(), HEADER);
}

}  // namespace
