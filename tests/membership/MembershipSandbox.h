// A host in a temporary directory for membership tests: configuration
// store database, hosts file and resolv.conf, a fixed management address,
// the scriptable directory plug-in named in provider.conf, and a scripted
// host name and resolver (no host name until a test sets one).
#pragma once

#include "ExpectRefused.h"
#include "HostResolverSeam.h"
#include "RecordingConfigStore.h"
#include "common/Files.h"
#include "common/SyslogRecorder.h"
#include "plugins/ScriptablePluginLoader.h"

#include <orvane/authentication/ActiveDirectoryConfigStore.h>
#include <orvane/authentication/ActiveDirectoryStore.h>

#include <platform/PlatformSettings.h>

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace membership_test {

constexpr const char* HOSTS_BEFORE = "127.0.0.1\tlocalhost\n# management\n192.0.2.10\told-name old\n";
constexpr const char* RESOLV_CONF_BEFORE = "nameserver 192.0.2.53\nsearch lab.example\n";

using Record = std::map<std::string, std::string>;

inline std::vector<orvauth_test::LogLine> OneLine(int priority, const std::string& text)
{
    return {orvauth_test::LogLine{priority, text}};
}

class MembershipSandbox : public ::testing::Test {
protected:
    MembershipSandbox()
    {
        namespace Settings = OrvPlatform::Settings;
        Settings::Reset();
        Settings::SetConfigStorePath(DatabasePath());
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
    ~MembershipSandbox() override
    {
        store.reset();
        OrvPlatform::Settings::Reset();
    }

    std::string HostsPath() const { return dir.File("hosts"); }
    std::string ResolvConfPath() const { return dir.File("resolv.conf"); }
    std::string DatabasePath() const { return dir.File("configstore.db"); }

    void ExpectHostFilesUnchanged() const
    {
        EXPECT_EQ(HOSTS_BEFORE, orvauth_test::ReadFile(HostsPath()));
        EXPECT_EQ(RESOLV_CONF_BEFORE, orvauth_test::ReadFile(ResolvConfPath()));
    }
    // A host the check accepts after editing both files: it resolves in
    // another domain, and the joined one resolves.
    void SetHostInOtherDomain()
    {
        SetHost("node01", "node01.other.example");
        Resolver().resolvableDomains.insert("corp.example");
    }
    static constexpr const char* RESOLV_CONF_EDITED = "nameserver 192.0.2.53\nsearch lab.example corp.example\n";
    // HOSTS_BEFORE with the management address mapped to name and alias.
    static std::string HostsWith(const std::string& name, const std::string& alias)
    {
        return "127.0.0.1\tlocalhost\n# management\n192.0.2.10\t" + name + " " + alias + "\n";
    }

    // The records as the database holds them at their fixed places, read
    // past whatever store a test installed; empty when absent.
    Record DomainRecord() const { return Stored("active_directory"); }
    Record CertificateRecord() const { return Stored("auth_proxy_certificate"); }
    void SeedDomainRecord(const std::string& domainName)
    {
        orvane::authentication::ActiveDirectoryConfigStore().StoreDomainInfo(domainName, "", "");
    }

    RecordingConfigStore& InstallRecordingStore()
    {
        recording = std::make_shared<RecordingConfigStore>(DatabasePath());
        OrvPlatform::Settings::InstallConfigStore(QelConfigStore::sGlobalNamespace, recording);
        return *recording;
    }

    orvauth_test::TempDir dir;
    orvauth_test::ScriptablePlugin plugin{"scriptable"};
    std::unique_ptr<orvane::authentication::ActiveDirectoryStore> store;

private:
    Record Stored(const char* key) const
    {
        QelConfigStore::ConfigStore database(QelConfigStore::sGlobalNamespace, DatabasePath());
        auto record = database.GetObject(QelConfigStore::ConfigStoreObjectId(key, "identity", "qel"));
        return record ? record->GetValues() : Record();
    }

    std::shared_ptr<RecordingConfigStore> recording;
};

}  // namespace membership_test
