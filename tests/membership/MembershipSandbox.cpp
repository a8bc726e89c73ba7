#include "MembershipSandbox.h"

#include "common/SleepRecorder.h"

#include <orvane/authentication/ActiveDirectoryConfigStore.h>

#include <platform/PlatformSettings.h>

namespace membership_test {

namespace Settings = OrvPlatform::Settings;

MembershipSandbox::MembershipSandbox()
{
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
    orvauth_test::ClearSleepCalls();
    store.reset(new orvane::authentication::ActiveDirectoryStore(60));
}

MembershipSandbox::~MembershipSandbox()
{
    store.reset();
    Settings::Reset();
}

void MembershipSandbox::ExpectHostFilesUnchanged() const
{
    EXPECT_EQ(HOSTS_BEFORE, orvauth_test::ReadFile(HostsPath()));
    EXPECT_EQ(RESOLV_CONF_BEFORE, orvauth_test::ReadFile(ResolvConfPath()));
}

std::string MembershipSandbox::HostsWith(const std::string& name, const std::string& alias)
{
    return "127.0.0.1\tlocalhost\n# management\n192.0.2.10\t" + name + " " + alias + "\n";
}

Record MembershipSandbox::Stored(const char* key) const
{
    QelConfigStore::ConfigStore database(QelConfigStore::sGlobalNamespace, DatabasePath());
    std::shared_ptr<QelConfigStore::ConfigStoreObject> record =
        database.GetObject(QelConfigStore::ConfigStoreObjectId(key, "identity", "qel"));
    return record ? record->GetValues() : Record();
}

void MembershipSandbox::SeedDomainRecord(const std::string& domainName)
{
    orvane::authentication::ActiveDirectoryConfigStore().StoreDomainInfo(domainName, "", "");
}

RecordingConfigStore& MembershipSandbox::InstallRecordingStore()
{
    recording = std::make_shared<RecordingConfigStore>(DatabasePath());
    Settings::InstallConfigStore(QelConfigStore::sGlobalNamespace, recording);
    return *recording;
}

}  // namespace membership_test
