#include "TextForms.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

using namespace SystemConfiguration;
using sysconfig_test::ReadInto;
using sysconfig_test::ReadPolicy;
using sysconfig_test::Write;

namespace {

const std::string HEADER = "#%PAM-1.0\n\n";

// Read then written: the normalised form of each input.
TEST(PAMFormatTest, ReadThenWritten)
{
    const struct {
        const char* what;
        std::string input;
        std::string written;
    } cases[] = {
        {"lines regroup as account, auth, password, session",
         "auth required pam_unix.so nullok\naccount sufficient pam_localuser.so\n",
         HEADER + "account\tsufficient\tpam_localuser.so\t\n\nauth\trequired\tpam_unix.so\tnullok \n\n"},
        {"bracketed control over several words and spaces",
         "auth   [success=1    default=ignore]  pam_unix.so  a\tb\n",
         HEADER + "auth\t[success=1 default=ignore]\tpam_unix.so\ta b \n\n"},
        {"bracketed control over several lines",
         "session [success=ok\n  new_authtok_reqd=ok\n ignore=ignore] pam_x.so\n",
         HEADER + "session\t[success=ok new_authtok_reqd=ok ignore=ignore]\tpam_x.so\t\n\n"},
        {"one-word bracketed control", "password [default=die] pam_deny.so\n",
         HEADER + "password\t[default=die]\tpam_deny.so\t\n\n"},
        {"comments only at the start of a line",
         "#%PAM-1.0\n   # indented comment\n\t#\nauth required pam_env.so # trailing remark\n",
         HEADER + "auth\trequired\tpam_env.so\t# trailing remark \n\n"},
        {"same facility on non-adjacent lines",
         "auth required a.so\nsession optional b.so\nauth sufficient c.so x\n",
         HEADER + "auth\trequired\ta.so\t\nauth\tsufficient\tc.so\tx \n\nsession\toptional\tb.so\t\n\n"},
        {"brackets in arguments are ordinary", "auth required pam_x.so [a b] c\\\n",
         HEADER + "auth\trequired\tpam_x.so\t[a b] c\\ \n\n"},
        {"a module missing on its line is taken from the next one",
         "auth required\nsession optional pam_x.so\n",
         HEADER + "auth\trequired\tsession\toptional pam_x.so \n\n"},
        {"the end of the input right after the control leaves the module empty", "session required",
         HEADER + "session\trequired\t\t\n\n"},
        {"carriage returns and other white space separate words",
         "\f\vauth\trequired\tpam_unix.so\targ\r\n", HEADER + "auth\trequired\tpam_unix.so\targ \n\n"},
        {"include and substack", "auth include common-auth\nauth substack system-auth\n",
         HEADER + "auth\tinclude\tcommon-auth\t\nauth\tsubstack\tsystem-auth\t\n\n"},
        {"empty input", "", HEADER},
        {"comment without final line feed", "# only a comment", HEADER},
        {"white space only", " \n\t\n", HEADER},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Write(ReadPolicy(c.input)), c.written);
    }
}

TEST(PAMFormatTest, ReadingAddsToWhatThePolicyHolds)
{
    PAMPolicy policy("p");
    ReadInto(policy, "auth required first.so\n");
    ReadInto(policy, "");
    ReadInto(policy, "auth required second.so\n");
    ASSERT_EQ(policy[PAMFacility::Auth].size(), 2u);
    EXPECT_EQ(policy[PAMFacility::Auth].back().module(), "second.so");
}

// A failing line throws; the lines before it stay in the policy.
TEST(PAMFormatTest, FailuresKeepTheLinesBefore)
{
    const struct {
        std::string line;
        bool endsInput;
        bool facilityFails;
        std::string message;
    } cases[] = {
        {"@include common-auth\n", false, true, "Invalid Facility: @include"},
        {"-session optional pam_systemd.so\n", false, true, "Invalid Facility: -session"},
        {"Auth required pam_x.so\n", false, true, "Invalid Facility: Auth"},
        {"auth bogus pam_x.so\n", false, false, "Invalid Control: bogus"},
        {"auth Required pam_x.so\n", false, false, "Invalid Control: Required"},
        {"auth [success=1\n  default=ignore pam_x.so\n", true, false, "Invalid Control: [success=1 default=ignore pam_x.so"},
        {"auth", true, false, "Invalid Control: "},
        {"auth\n\n", true, false, "Invalid Control: "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        PAMPolicy policy("p");
        std::string message;
        try {
            ReadInto(policy, "account required before.so\n" + c.line + (c.endsInput ? "" : "auth required after.so\n"));
        } catch (const InvalidFacilityException& e) {
            EXPECT_TRUE(c.facilityFails);
            message = e.what();
        } catch (const InvalidControlException& e) {
            EXPECT_FALSE(c.facilityFails);
            message = e.what();
        }
        EXPECT_EQ(message, c.message);
        EXPECT_EQ(Write(policy), HEADER + "account\trequired\tbefore.so\t\n\n");
    }
}

TEST(PAMFormatTest, EntryExtractionAppendsArgumentsAndFailsBeforeChangingTheEntry)
{
    PAMEntry entry(PAMControl(std::string("[old]")), "old.so");
    entry.parameters() = {"kept"};
    std::istringstream bad(" bogus new.so a b\n");
    EXPECT_THROW(bad >> entry, InvalidControlException);
    EXPECT_EQ(entry.module(), "old.so");

    std::istringstream in(" optional\n new.so a\t b  \nsession");
    in >> entry;
    EXPECT_TRUE(entry.control() == PAMControl::Optional);
    EXPECT_EQ(entry.module(), "new.so");
    EXPECT_EQ(entry.parameters(), (std::list<std::string>{"kept", "a", "b"}));
    std::string rest;
    in >> rest;
    EXPECT_EQ(rest, "session");  // nothing past the rule's line was consumed
}

TEST(PAMFormatTest, FacilityExtraction)
{
    std::istringstream in("  session\n");
    PAMFacility facility;
    in >> facility;
    EXPECT_TRUE(facility == PAMFacility::Session);
    try {
        in >> facility;
        FAIL() << "no facility left to read";
    } catch (const InvalidFacilityException& e) {
        EXPECT_STREQ(e.what(), "Invalid Facility: ");
    }
    EXPECT_TRUE(facility == PAMFacility::Session);
    std::ostringstream out;
    out << facility;
    EXPECT_EQ(out.str(), "session");
}

TEST(PAMFormatTest, ReadingEndsWithEndOfFileAndNeverReadsAFailedStream)
{
    std::istringstream in("auth required pam_unix.so\n");
    PAMPolicy policy("p");
    in >> policy;
    EXPECT_TRUE(in.eof());
    EXPECT_FALSE(in.bad());

    std::istringstream failed("auth required pam_unix.so\n");
    failed.setstate(std::ios_base::failbit);
    PAMPolicy untouched("p");
    failed >> untouched;
    EXPECT_TRUE(untouched.GetStacks().empty());
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
    policy[PAMFacility()];  // an empty stack of no facility writes only its empty line
    EXPECT_EQ(Write(policy), HEADER + "\n");
    policy[PAMFacility()].push_back(PAMEntry(PAMControl(PAMControl::Required), "c.so"));
    std::ostringstream policyOut;
    EXPECT_THROW(policyOut << policy, InvalidFacilityException);
    EXPECT_EQ(policyOut.str(), HEADER);

    std::ostringstream entryOut;
    PAMEntry entry(PAMControl(PAMControl::Substack), "d.so");
    entry.parameters() = {"x", "y"};
    entryOut << entry;
    EXPECT_EQ(entryOut.str(), "substack\td.so\tx y ");
}

}  // namespace
