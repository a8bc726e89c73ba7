// Loading the directory client plug-in: where it is looked for, which
// records and versions are accepted, and that a refused plug-in is unloaded
// again.
#include "BuildPaths.h"
#include "plugins/ScriptablePluginLoader.h"

#include <orvane/authentication/ActiveDirectoryProvider.h>
#include <orvane/authentication/Exceptions.h>

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <list>
#include <string>

using namespace orvane::authentication;
using orvauth_test::IsLoaded;
using orvauth_test::ScriptablePlugin;

namespace {

std::string BasePath(const std::string& name) { return orvauth_test::PluginPath(name); }

TEST(ProviderLoading, FindsThePlugInInEitherDirectoryPreferringLib64)
{
    EXPECT_EQ("pam_scriptable", ActiveDirectoryProvider("scriptable").PAMModule());
    EXPECT_EQ("pam_scriptable", ActiveDirectoryProvider("scriptable_lib64").PAMModule());
    EXPECT_EQ("pam_scriptable_lib64", ActiveDirectoryProvider("scriptable_both").PAMModule());
}

TEST(ProviderLoading, ReportsTheLoaderErrorOfTheBaseDirectoryWhenNeitherOpens)
{
    try {
        ActiveDirectoryProvider provider("absent");
        FAIL() << "loaded a plug-in that does not exist";
    } catch (const IOError& error) {
        EXPECT_EQ(0u, error.Code());
        EXPECT_EQ("Unable to open provider: " + BasePath("absent") +
                      ": cannot open shared object file: No such file or directory",
                  std::string(error.what()));
    }
}

TEST(ProviderLoading, UnloadsThePlugInWhenDestroyed)
{
    {
        ActiveDirectoryProvider provider("scriptable");
        EXPECT_TRUE(IsLoaded(BasePath("scriptable")));
    }
    EXPECT_FALSE(IsLoaded(BasePath("scriptable")));
}

// A refused plug-in is not left mapped.
TEST(ProviderLoading, RefusesUnusablePlugIns)
{
    const struct {
        const char* name;
        std::string reason;
        const char* file;  // the plug-in the name would load
    } cases[] = {
        {"scriptable_no_metadata",
         BasePath("scriptable_no_metadata") + ": undefined symbol: ActiveDirectoryClientMetadata",
         "scriptable_no_metadata"},
        {"scriptable_no_operations",
         BasePath("scriptable_no_operations") + ": undefined symbol: ActiveDirectoryClientOperations",
         "scriptable_no_operations"},
        {"scriptable_metadata_v4", "The API version (4) is not supported by this version of liborvauth",
         "scriptable_metadata_v4"},
        {"scriptable_null_pam_module", "The provider declares no PAM module", "scriptable_null_pam_module"},
        {"scriptable_null_nss_module", "The provider declares no NSS module", "scriptable_null_nss_module"},
        // Left unchecked, this name would resolve to <dir>/lib64/../libscriptable.so.
        {"64/../libscriptable", "The provider name must not contain '/'", "scriptable"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            ActiveDirectoryProvider provider(c.name);
            ADD_FAILURE() << "accepted";
        } catch (const InvalidActiveDirectoryProviderException& error) {
            EXPECT_EQ(0u, error.Code());
            EXPECT_EQ("The specified Active Directory provider '" + std::string(c.name) + "' is invalid: " + c.reason,
                      error.what());
        }
        EXPECT_FALSE(IsLoaded(BasePath(c.file)));
    }
}

TEST(ProviderLoading, AcceptsEveryMetadataVersionUpToThree)
{
    ScriptablePlugin plugin("scriptable");
    for (int version : {3, 2, 1, 0, -1, -2147483647 - 1}) {
        plugin.Metadata().apiVersion = version;
        EXPECT_NO_THROW(ActiveDirectoryProvider("scriptable")) << "version " << version;
    }
}

struct ParameterCase {
    const char* text;
    std::list<std::string> words;
};

TEST(ProviderMetadata, SplitsModuleParametersIntoWords)
{
    const ParameterCase cases[] = {
        {"  try_first_pass \t use_authtok   debug  ", {"try_first_pass", "use_authtok", "debug"}},
        {"one", {"one"}},
        {"\n a\nb \n", {"a", "b"}},
        {"", {}},
        {" \t ", {}},
        {nullptr, {}},
    };
    ScriptablePlugin plugin("scriptable");
    for (const ParameterCase& c : cases) {
        plugin.Metadata().pamModuleParameters = c.text;
        plugin.Metadata().nssModuleParameters = c.text;
        plugin.Metadata().nssModule = "nss_module";
        ActiveDirectoryProvider provider("scriptable");
        const char* shown = c.text ? c.text : "(null)";
        EXPECT_EQ(c.words, provider.PAMModuleParameters()) << shown;
        EXPECT_EQ(c.words, provider.NSSModuleParameters()) << shown;
        EXPECT_EQ("pam_scriptable", provider.PAMModule());
        EXPECT_EQ("nss_module", provider.NSSModule());
    }
}

}  // namespace
