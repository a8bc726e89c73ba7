#include "StatusReport.h"

#include "LoginCommands.h"
#include "StoreAccess.h"

#include <orvane/authentication/ActiveDirectoryConfigStore.h>
#include <orvane/authentication/ActiveDirectoryProvider.h>
#include <orvane/authentication/Configuration.h>
#include <orvane/authentication/Exceptions.h>
#include <orvane/authentication/JORVProxy.h>
#include <platform/PlatformSettings.h>

#include <memory>
#include <stdexcept>
#include <sys/stat.h>

namespace orvauthctl {
namespace {

using namespace orvane::authentication;

// Opening the configuration store creates its database; status only looks.
void RequireDatabase()
{
    const std::string path = OrvPlatform::Settings::GetConfigStorePath();
    struct stat info;
    if (stat(path.c_str(), &info) != 0) {
        throw std::runtime_error("no configuration store database at '" + path + "'");
    }
}

// The factory's directory store waits this long for each query.
constexpr int FACTORY_STORE_TIMEOUT_SECONDS = 60;

const char* const CACHE_FILE = "directory-answers.json";

DirectoryStatus GatherDirectoryStatusFromFactory()
{
    DirectoryStatus status;
    std::shared_ptr<const ActiveDirectoryStore> store;
    try {
        store = CreateDirectoryStore();
    } catch (const std::exception& e) {
        status.loadError = e.what();
        return status;
    }
    return GatherDirectoryStatus(store, FACTORY_STORE_TIMEOUT_SECONDS, StateDirectory() + "/" + CACHE_FILE);
}

MembershipRecord ReadMembershipRecord()
{
    RequireDatabase();
    ActiveDirectoryConfigStore records;
    MembershipRecord record;
    try {
        record.domainName = records.GetDomainName();
    } catch (const ConfigurationError&) {
        return record;  // no domain record: the host is not recorded as a member
    }
    record.present = true;
    record.organizationalUnit = records.GetOrganizationalUnit();
    record.proxyAddress = records.GetAuthProxyAddr();
    return record;
}

std::string ReadProxyThumbprint()
{
    RequireDatabase();
    try {
        return ActiveDirectoryConfigStore().GetThumbprint();
    } catch (const ConfigurationError&) {
        return "";  // no certificate imported
    }
}

std::map<std::string, std::string> ReadThumbprintFile()
{
    return JORVThumbprintStore().Entries();
}

int64_t ReadVerifyOption()
{
    RequireDatabase();
    return ReadVerifyJORVCertificateOption();
}

HostRecords GatherHostRecords()
{
    HostRecords records;
    records.configStoreEnabled = ActiveDirectoryConfigStore::IsConfigStoreEnabled();
    if (records.configStoreEnabled) {
        records.membership = Attempt<MembershipRecord>(ReadMembershipRecord);
        records.proxyThumbprint = Attempt<std::string>(ReadProxyThumbprint);
    } else {
        records.proxyThumbprints = Attempt<std::map<std::string, std::string>>(ReadThumbprintFile);
    }
    records.verifyProxyCertificate = Attempt<int64_t>(ReadVerifyOption);
    return records;
}

}  // namespace

StatusReport GatherStatus()
{
    StatusReport report;
    report.configDirectory = orvane::authentication::ConfigurationDirectory();
    report.pluginDirectory = orvane::authentication::PluginDirectory();
    report.activeStore = Attempt<std::string>(RecordedActiveStore);
    report.directory = GatherDirectoryStatusFromFactory();
    report.records = GatherHostRecords();
    return report;
}

}  // namespace orvauthctl
