// adclient.conf: what the plug-in reads from a real file; the tool's edit.
#include "adclient/ClientSettings.h"
#include "base/AdClientSettings.h"
#include "common/Files.h"
#include "common/StatusError.h"

#include <gtest/gtest.h>

extern "C" const char* OrvauthPluginFailureReason(void);

namespace {

const struct {
    const char* text;
    const char* read;  // "<use_ldaps>|<description>|<shell>|<home>", or the reason's end after "<path> line "
} READ_CASES[] = {
    {"# only comments\n\n#use_ldaps = yes\n", "0|"},
    {"use_ldaps = yes\r\ndescription = Rack 4, row B  \n", "1|Rack 4, row B"},
    {"\nuse_ldaps = true\n", "2: use_ldaps is \"true\": give yes or no"},
    {"use_ldap = yes\n", "1: unknown key \"use_ldap\""},
    {"use_ldaps yes\n", "1: not a comment, a blank line or key = value"},
    {"description = a\x01z\n", "1: the description holds a control character"},
    {"default_shell = /bin/bash\nhome_directory = /srv/home/%d/%%x%u\n", "0||/bin/bash|/srv/home/%d/%%x%u"},
    {"default_shell = bash\n", "1: the default shell \"bash\" is not an absolute path"},
    {"default_shell = /bin/%u\n", "1: the default shell holds a %"},
    {"home_directory = /home/%x\n", "1: the home directory holds a %"},
    {"home_directory = /home/%\n", "1: the home directory holds a %"},
    {"home_directory = /home/a,b\n", "1: the home directory holds a blank, a control character or one of"},
};

TEST(ClientSettings, ReadsKnownKeysAndRefusesOtherLinesNamingFileAndLine)
{
    orvauth_test::TempDir directory;
    const std::string path = directory.File("adclient.conf");
    for (const auto& c : READ_CASES) {
        orvauth_test::WriteFile(path, c.text);
        std::string read;
        if (orvauth_plugin::Guarded([&] {
                const adclient::ClientSettings settings = adclient::ReadClientSettings(path);
                read = (settings.useLdaps ? "1|" : "0|") + settings.description + "|" + settings.defaultShell + "|" +
                       settings.homeDirectory;
            }) != 0) {
            read = std::string(OrvauthPluginFailureReason()).substr(path.size() + 6);
        }
        EXPECT_EQ(0u, read.rfind(c.read, 0)) << c.text << " read as " << read;
    }
    EXPECT_FALSE(adclient::ReadClientSettings(directory.File("missing.conf")).useLdaps);
}

TEST(ClientSettings, SettingAKeyKeepsEveryOtherLine)
{
    const struct {
        const char* before;
        const char* after;
    } cases[] = {
        {"", "use_ldaps = yes\n"},
        {"# LDAPS\n#use_ldaps = no\n\n#description =\n", "# LDAPS\n#use_ldaps = no\nuse_ldaps = yes\n\n#description =\n"},
        {"use_ldaps = no\n# kept\nuse_ldaps = no\n", "use_ldaps = yes\n# kept\n"},
        {"description = x\r\nnot a setting", "description = x\r\nnot a setting\nuse_ldaps = yes\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.after, orvauth_base::adclient_settings::WithSetting(c.before, "use_ldaps", "yes")) << c.before;
    }
}

}  // namespace
