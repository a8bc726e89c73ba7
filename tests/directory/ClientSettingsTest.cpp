// adclient.conf: what the plug-in reads from it (a real file), and the
// tool's edit of one key.
#include "adclient/ClientSettings.h"
#include "base/AdClientSettings.h"
#include "common/Files.h"
#include "common/StatusError.h"

#include <gtest/gtest.h>

extern "C" const char* OrvauthPluginFailureReason(void);

namespace {

using orvauth_base::adclient_settings::WithSetting;

struct ReadCase {
    const char* text;
    bool useLdaps;
    const char* description;
    const char* refusal;  // the end of the reason after "<path> line ", or "" when read
};

const ReadCase READ_CASES[] = {
    {"# only comments\n\n#use_ldaps = yes\n", false, "", ""},
    {"use_ldaps = yes\r\ndescription = Rack 4, row B  \n", true, "Rack 4, row B", ""},
    {"\nuse_ldaps = true\n", false, "", "2: use_ldaps is \"true\": give yes or no"},
    {"use_ldap = yes\n", false, "", "1: unknown key \"use_ldap\""},
    {"use_ldaps yes\n", false, "", "1: not a comment, a blank line or key = value"},
    {"description = a\x01z\n", false, "", "1: the description holds a control character"},
};

TEST(ClientSettings, ReadsKnownKeysAndRefusesOtherLinesNamingFileAndLine)
{
    orvauth_test::TempDir directory;
    const std::string path = directory.File("adclient.conf");
    for (const ReadCase& c : READ_CASES) {
        SCOPED_TRACE(c.text);
        orvauth_test::WriteFile(path, c.text);
        try {
            const adclient::ClientSettings settings = adclient::ReadClientSettings(path);
            EXPECT_STREQ("", c.refusal);
            EXPECT_EQ(c.useLdaps, settings.useLdaps);
            EXPECT_EQ(c.description, settings.description);
        } catch (const orvauth_plugin::StatusError& error) {
            EXPECT_EQ(87u, error.status);
            ASSERT_NE(nullptr, OrvauthPluginFailureReason());
            EXPECT_EQ(0u, std::string(OrvauthPluginFailureReason()).rfind(path + " line " + c.refusal, 0))
                << OrvauthPluginFailureReason();
        }
    }
    EXPECT_FALSE(adclient::ReadClientSettings(directory.File("missing.conf")).useLdaps);
}

struct EditCase {
    const char* name;
    const char* before;
    const char* after;
};

const EditCase EDIT_CASES[] = {
    {"EmptyFile", "", "use_ldaps = yes\n"},
    {"AfterTheCommentedDefault", "# LDAPS only\n#use_ldaps = no\n\n#description =\n",
     "# LDAPS only\n#use_ldaps = no\nuse_ldaps = yes\n\n#description =\n"},
    {"InPlaceLaterRepeatsGone", "use_ldaps = no\n# kept\nuse_ldaps = no\n", "use_ldaps = yes\n# kept\n"},
    {"OtherKeysAndOddLinesKept", "description = x\r\nnot a setting\n", "description = x\r\nnot a setting\nuse_ldaps = yes\n"},
};

TEST(ClientSettings, SettingAKeyKeepsEveryOtherLine)
{
    for (const EditCase& c : EDIT_CASES) {
        EXPECT_EQ(c.after, WithSetting(c.before, "use_ldaps", "yes")) << c.name;
    }
}

}  // namespace
