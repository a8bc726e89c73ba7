// A host in a temporary directory for membership tests: configuration
// store database, hosts file and resolv.conf, a fixed management address,
// the scriptable directory plug-in named in provider.conf, and a scripted
// host name and resolver (no host name until a test sets one).
#pragma once

#include "common/MessageOf.h"
#include "HostResolverSeam.h"
#include "common/Files.h"
#include "common/Recorders.h"
#include "fixtures/ScriptablePluginLoader.h"

#include <orvane/authentication/ActiveDirectoryStore.h>

#include <platform/PlatformSettings.h>
#include <platform/QelConfigStore.h>

#include <functional>
#include <map>
#include <memory>
#include <string>

namespace membership_test {

constexpr const char* HOSTS_BEFORE = "127.0.0.1\tlocalhost\n# management\n192.0.2.10\told-name old\n";
constexpr const char* RESOLV_CONF_BEFORE = "nameserver 192.0.2.53\nsearch lab.example\n";
constexpr const char* RESOLV_CONF_EDITED = "nameserver 192.0.2.53\nsearch lab.example corp.example\n";

using Record = std::map<std::string, std::string>;
using orvauth_test::ExpectRefused;
using orvauth_test::LoggedLines;
using orvauth_test::ReadFile;

inline std::vector<orvauth_test::LogLine> OneLine(int priority, const std::string& text) { return {{priority, text}}; }

// The real database, except that writes and removals fail with the store's
// own exception, writes after running `meanwhile` (someone else acting
// during a join).
struct FailingConfigStore : QelConfigStore::ConfigStore {
    explicit FailingConfigStore(const std::string& path) : ConfigStore(QelConfigStore::sGlobalNamespace, path) {}
    void SetObject(std::shared_ptr<QelConfigStore::ConfigStoreObject>&, int&) override
    {
        if (meanwhile) {
            meanwhile();
        }
        throw QelConfigStore::ConfigStoreException("database is locked");
    }
    void RemoveObject(const QelConfigStore::ConfigStoreObjectId&) override
    {
        throw QelConfigStore::ConfigStoreException("disk I/O error");
    }
    std::function<void()> meanwhile;
};

class MembershipSandbox : public ::testing::Test {
protected:
    MembershipSandbox()
    {
        namespace Settings = OrvPlatform::Settings;
        Settings::Reset();
        Settings::SetConfigStorePath(dir.File("configstore.db"));
        Settings::SetHostsFilePath(HostsPath());
        Settings::SetResolvConfPath(ResolvConfPath());
        Settings::SetManagementInterface("eth-test", "192.0.2.10");
        orvauth_test::WriteFile(HostsPath(), HOSTS_BEFORE);
        orvauth_test::WriteFile(ResolvConfPath(), RESOLV_CONF_BEFORE);
        orvauth_test::ResetConfigDir();
        orvauth_test::WriteFile(orvauth_test::ConfigFile("provider.conf"), "provider = \"scriptable\"\n");
        Resolver() = {};
        orvauth_test::ClearLoggedLines();
        store.reset(new orvane::authentication::ActiveDirectoryStore(60));
    }
    ~MembershipSandbox() override { OrvPlatform::Settings::Reset(); }

    std::string HostsPath() const { return dir.File("hosts"); }
    std::string ResolvConfPath() const { return dir.File("resolv.conf"); }
    void ExpectHostFilesUnchanged() const
    {
        EXPECT_EQ(HOSTS_BEFORE + std::string("|") + RESOLV_CONF_BEFORE,
                  ReadFile(HostsPath()) + "|" + ReadFile(ResolvConfPath()));
    }
    // HOSTS_BEFORE with the management address mapped to name and alias;
    // the names it had stay after them.
    static std::string HostsWith(const std::string& name, const std::string& alias)
    {
        return "127.0.0.1\tlocalhost\n# management\n192.0.2.10\t" + name + " " + alias + " old-name old\n";
    }
    // A host the check accepts after editing both files.
    static void SetHostInOtherDomain()
    {
        SetHost("node01", "node01.other.example");
        Resolver().resolvableDomains.insert("corp.example");
    }

    // The records as the database holds them, read past whatever store a
    // test installed; empty when absent.
    Record DomainRecord() const { return Stored("active_directory"); }
    Record CertificateRecord() const { return Stored("auth_proxy_certificate"); }
    FailingConfigStore& InstallFailingStore()
    {
        auto failing = std::make_shared<FailingConfigStore>(dir.File("configstore.db"));
        OrvPlatform::Settings::InstallConfigStore(QelConfigStore::sGlobalNamespace, failing);
        return *failing;
    }
    // Any use of the store then fails.
    void BreakStore() { OrvPlatform::Settings::SetConfigStorePath(dir.File("missing-directory/configstore.db")); }

    orvauth_test::TempDir dir;
    orvauth_test::ScriptablePlugin plugin{"scriptable"};
    std::unique_ptr<orvane::authentication::ActiveDirectoryStore> store;

private:
    Record Stored(const char* key) const
    {
        QelConfigStore::ConfigStore database(QelConfigStore::sGlobalNamespace, dir.File("configstore.db"));
        auto record = database.GetObject(QelConfigStore::ConfigStoreObjectId(key, "identity", "qel"));
        return record ? record->GetValues() : Record();
    }
};

}  // namespace membership_test
