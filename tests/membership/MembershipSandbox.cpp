#include "MembershipSandbox.h"

#include "common/SleepRecorder.h"
#include "common/SyslogRecorder.h"

#include <orvane/authentication/ActiveDirectoryConfigStore.h>

#include <platform/PlatformSettings.h>

namespace membership_test {

namespace Settings = OrvPlatform::Settings;
using orvane::authentication::ActiveDirectoryConfigStore;

MembershipSandbox::MembershipSandbox()
{
    Settings::Reset();
    Settings::SetConfigStorePath(DatabasePath());
    Settings::SetHostsFilePath(HostsPath());
    Settings::SetResolvConfPath(ResolvConfPath());
    Settings::SetManagementInterface("eth-test", MANAGEMENT_ADDRESS);
    orvauth_test::WriteFile(HostsPath(), HOSTS_BEFORE);
    orvauth_test::WriteFile(ResolvConfPath(), RESOLV_CONF_BEFORE);

    orvauth_test::ResetConfigDir();
    orvauth_test::WriteFile(orvauth_test::ConfigFile("provider.conf"), "provider = \"scriptable\"\n");

    ResetHostResolver();
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

std::string MembershipSandbox::HostsWith(const std::string& name, const std::string& alias) const
{
    return std::string("127.0.0.1\tlocalhost\n# management\n") + MANAGEMENT_ADDRESS + "\t" + name + " " + alias + "\n";
}

std::map<std::string, std::string> MembershipSandbox::DomainRecord() const
{
    // Read through a store of its own on the database, whatever the test
    // has installed.
    QelConfigStore::ConfigStore database(QelConfigStore::sGlobalNamespace, DatabasePath());
    std::shared_ptr<QelConfigStore::ConfigStoreObject> record = database.GetObject(ActiveDirectoryConfigStore::AD_CSO_ID);
    return record ? record->GetValues() : std::map<std::string, std::string>();
}

void MembershipSandbox::SeedDomainRecord(const std::string& domainName)
{
    ActiveDirectoryConfigStore().StoreDomainInfo(domainName, "", "");
}

RecordingConfigStore& MembershipSandbox::InstallRecordingStore()
{
    recording = std::make_shared<RecordingConfigStore>(DatabasePath());
    Settings::InstallConfigStore(QelConfigStore::sGlobalNamespace, recording);
    return *recording;
}

}  // namespace membership_test
