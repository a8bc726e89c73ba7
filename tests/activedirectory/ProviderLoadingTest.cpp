// Loading the directory client plug-in, and the refusals both plug-in
// loaders share: where a plug-in is looked for, which records, versions,
// names and files are accepted, that nothing refused stays mapped, and how
// the store reports a provider it cannot load.
#include "common/Files.h"
#include "common/MessageOf.h"
#include "fixtures/ScriptablePluginLoader.h"

#include <orvane/authentication/ActiveDirectoryProvider.h>
#include <orvane/authentication/ActiveDirectoryStore.h>
#include <orvane/authentication/Exceptions.h>
#include <orvane/authentication/JORVProxy.h>

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

using namespace orvane::authentication;
using orvauth_test::IsLoaded;
using orvauth_test::PluginPath;
using orvauth_test::ScriptablePlugin;

namespace {

// The message of the exception `load` throws, or "" when it throws none.
const auto Thrown = orvauth_test::MessageOf<Exception, std::function<void()>>;

const std::string DIRECTORY_INVALID = "The specified Active Directory provider '";

TEST(ProviderLoading, FindsThePlugInInEitherDirectoryPreferringLib64AndUnloadsIt)
{
    EXPECT_EQ("pam_scriptable", ActiveDirectoryProvider("scriptable_lib64").PAMModule());
    EXPECT_EQ("pam_scriptable_lib64", ActiveDirectoryProvider("scriptable_both").PAMModule());
    {
        ActiveDirectoryProvider provider("scriptable");
        EXPECT_TRUE(IsLoaded(PluginPath("scriptable")));
    }
    EXPECT_FALSE(IsLoaded(PluginPath("scriptable")));
    EXPECT_EQ("Unable to open provider: " + PluginPath("absent") +
                  ": cannot open shared object file: No such file or directory",
              Thrown([] { ActiveDirectoryProvider("absent"); }));
}

TEST(StoreConstruction, FailsWithoutAUsablePlugIn)
{
    const struct {
        const char* providerConf;  // null: no file
        std::string message;
    } cases[] = {
        {nullptr, DIRECTORY_INVALID + "(none installed)' is invalid"},
        {"provider = \"\"\n", DIRECTORY_INVALID + "(unset)' is invalid"},
        {"provider = \"absent\"\n", DIRECTORY_INVALID + "absent' is invalid"},  // without the loader's text
        {"provider = scriptable_no_metadata\n", DIRECTORY_INVALID + "scriptable_no_metadata' is invalid: " +
                                                     PluginPath("scriptable_no_metadata") +
                                                     ": undefined symbol: ActiveDirectoryClientMetadata"},
        {"name = \"scriptable\"\n", "The specified key 'provider' was not found in this configuration"},
    };
    for (const auto& c : cases) {
        orvauth_test::ResetConfigDir();
        if (c.providerConf != nullptr) {
            orvauth_test::WriteFile(orvauth_test::ConfigFile("provider.conf"), c.providerConf);
        }
        EXPECT_EQ(c.message, Thrown([] { ActiveDirectoryStore store(60); }));
    }
}

TEST(ProviderLoading, RefusesUnusablePlugInsAndLeavesThemUnloaded)
{
    using Metadata = ActiveDirectoryClientMetadata;
    const struct {
        const char* name;
        void (*change)(Metadata&);  // applied to the pinned plug-in's record; null: the variant as built
        std::string reason;
    } cases[] = {
        {"scriptable_no_metadata", nullptr,
         PluginPath("scriptable_no_metadata") + ": undefined symbol: ActiveDirectoryClientMetadata"},
        {"scriptable_no_operations", nullptr,
         PluginPath("scriptable_no_operations") + ": undefined symbol: ActiveDirectoryClientOperations"},
        {"scriptable", [](Metadata& m) { m.apiVersion = 4; },
         "The API version (4) is not supported by this version of liborvauth"},
        {"scriptable", [](Metadata& m) { m.pamModule = nullptr; }, "The provider declares no PAM module"},
        {"scriptable", [](Metadata& m) { m.nssModule = nullptr; }, "The provider declares no NSS module"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reason);
        {
            std::unique_ptr<ScriptablePlugin> pinned(c.change ? new ScriptablePlugin(c.name) : nullptr);
            if (c.change) {
                c.change(pinned->Metadata());
            }
            EXPECT_EQ(DIRECTORY_INVALID + c.name + "' is invalid: " + c.reason,
                      Thrown([&] { ActiveDirectoryProvider provider(c.name); }));
        }
        EXPECT_FALSE(IsLoaded(PluginPath(c.name)));
    }
}

TEST(ProviderLoading, AcceptsAnyMetadataVersionUpToThreeAndSplitsModuleParameters)
{
    ScriptablePlugin plugin("scriptable");
    for (int version : {3, 0, INT_MIN}) {
        plugin.Metadata().apiVersion = version;
        EXPECT_NO_THROW(ActiveDirectoryProvider("scriptable")) << version;
    }
    const struct {
        const char* text;
        std::list<std::string> words;
    } cases[] = {
        {"  try_first_pass \t use_authtok   debug  ", {"try_first_pass", "use_authtok", "debug"}},
        {"", {}},
        {nullptr, {}},
    };
    for (const auto& c : cases) {
        plugin.Metadata().pamModuleParameters = c.text;
        plugin.Metadata().nssModuleParameters = c.text;
        ActiveDirectoryProvider provider("scriptable");
        EXPECT_EQ(c.words, provider.PAMModuleParameters());
        EXPECT_EQ(c.words, provider.NSSModuleParameters());
        EXPECT_EQ("scriptable", provider.NSSModule());
    }
}

// Whoever could replace a plug-in file, or a directory on the way to it,
// would run code in a root service: both loaders refuse such files, and
// names that are not one plain file name.
TEST(PlugInFiles, BothLoadersRefuseNamesAndFilesOthersControl)
{
    const std::string lib64 = std::string(ORVAUTH_PLUGIN_DIR) + "/lib64";
    const std::string hostile = PluginPath("hostile");
    const std::string writable = " is writable by its group or by others";
    const struct {
        std::string name;
        mode_t fileMode;  // 0: no copy of the plug-in as libhostile.so
        uid_t owner;      // of that copy
        mode_t lib64Mode;
        std::string shownName;
        std::string reason;
    } cases[] = {
        // Left unchecked, these would load <dir>/lib64/../libscriptable.so and libscriptable.so.
        {"64/../libscriptable", 0, 0, 0755, "64/../libscriptable", "The provider name must not contain '/'"},
        {std::string("scriptable\0junk", 15), 0, 0, 0755, "scriptable\\x00junk",
         "The provider name must not contain blanks or control characters"},
        {"scriptable ", 0, 0, 0755, "scriptable ", "The provider name must not contain blanks or control characters"},
        {"hostile", 0775, ::geteuid(), 0755, "hostile", hostile + writable},
        {"hostile", 0757, ::geteuid(), 0755, "hostile", hostile + writable},
        {"hostile", 0755, 65534, 0755, "hostile", hostile + " is owned neither by root nor by this process's user"},
        {"scriptable_lib64", 0, 0, 0775, "scriptable_lib64", lib64 + writable},
    };
    struct stat lib64Info;
    ASSERT_EQ(0, ::stat(lib64.c_str(), &lib64Info));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reason);
        if (c.owner != ::geteuid() && ::geteuid() != 0) {
            continue;  // only root can hand a file to another user
        }
        if (c.fileMode != 0) {
            orvauth_test::WriteFile(hostile, orvauth_test::ReadFile(PluginPath("scriptable")));
            ASSERT_EQ(0, ::chmod(hostile.c_str(), c.fileMode));
            ASSERT_EQ(0, ::chown(hostile.c_str(), c.owner, static_cast<gid_t>(-1)));
        }
        ASSERT_EQ(0, ::chmod(lib64.c_str(), c.lib64Mode));
        const std::string directory = Thrown([&] { ActiveDirectoryProvider provider(c.name); });
        const std::string proxy = Thrown([&] { JORVProxy proxy(c.name, "192.0.2.1", false, ""); });
        ::chmod(lib64.c_str(), lib64Info.st_mode & 07777);
        ::unlink(hostile.c_str());
        EXPECT_EQ(DIRECTORY_INVALID + c.shownName + "' is invalid: " + c.reason, directory);
        EXPECT_EQ("The specified JORVProxy provider '" + c.shownName + "' is invalid: " + c.reason, proxy);
        EXPECT_FALSE(IsLoaded(PluginPath("scriptable")) || IsLoaded(hostile) || IsLoaded(PluginPath(c.name, true)));
    }
}

}  // namespace
