#include <orvane/host/Status.h>

#include <orvane/host/Stores.h>

#include "status/StatusCache.h"
#include "status/StatusSummary.h"

#include <orvane/authentication/ActiveDirectoryConfigStore.h>
#include <orvane/authentication/ActiveDirectoryProvider.h>
#include <orvane/authentication/Configuration.h>
#include <orvane/authentication/Exceptions.h>
#include <orvane/authentication/JORVProxy.h>
#include <orvane/authentication/PluginStatus.h>
#include <platform/PlatformSettings.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace orvane::host {
namespace {

using namespace orvane::authentication;

// Opening the configuration store creates its database; status only looks.
// A host without one (never joined, nothing imported) has no records yet:
// that is no error.
bool DatabaseExists()
{
    struct stat info;
    return stat(OrvPlatform::Settings::GetConfigStorePath().c_str(), &info) == 0;
}

// UserVars.ActiveDirectoryVerifyJORVCertificate when nobody set it.
constexpr int64_t VERIFY_BY_DEFAULT = 1;

// The factory's directory store waits this long for each query.
constexpr int FACTORY_STORE_TIMEOUT_SECONDS = 60;

const char* const CACHE_FILE = "directory-answers.json";

// How long status waits for the plug-in to name a controller of the joined
// domain: its probe's bound (1.5 s) after a second for DNS, whose server may
// be the dead controller itself, and a tenth for the rest.
constexpr std::chrono::milliseconds CONTROLLER_WAIT{2600};

// False when the plug-in says no controller of the joined domain answers,
// or says nothing within CONTROLLER_WAIT; true when one answers, when the
// host is not joined and when the plug-in cannot tell (no such request).
bool ControllerAnswers(const std::shared_ptr<const ActiveDirectoryStore>& store)
{
    const Outcome<Domain> joined = Attempt<Domain>([&] { return store->Provider()->GetActiveDomain(); });
    if (!joined.ok || joined.value.dnsName.empty()) {
        return true;
    }
    struct Answer {
        std::mutex lock;
        std::condition_variable given;
        bool done = false;
        bool none = false;
    };
    auto answer = std::make_shared<Answer>();
    const std::string domain = joined.value.dnsName;
    auto ask = [store, answer, domain] {
        bool none = false;
        try {
            store->GetDomainControllerForDomain(domain);
        } catch (const Exception& e) {
            none = e.Code() == ORVAUTH_STATUS_NO_LOGON_SERVERS || e.Code() == ORVAUTH_STATUS_NO_SUCH_DOMAIN ||
                   e.Code() == ORVAUTH_STATUS_TIMED_OUT;
        } catch (const std::exception&) {
        }
        std::lock_guard<std::mutex> guard(answer->lock);
        answer->done = true;
        answer->none = none;
        answer->given.notify_all();
    };
    try {
        std::thread(ask).detach();
    } catch (const std::system_error&) {
        return true;  // no thread to bound the question with: the queries' own time-out applies
    }
    std::unique_lock<std::mutex> guard(answer->lock);
    return answer->given.wait_for(guard, CONTROLLER_WAIT, [&] { return answer->done; }) && !answer->none;
}

DirectoryStatus GatherDirectoryStatusFromFactory(const HostFiles& files)
{
    DirectoryStatus status;
    std::shared_ptr<const ActiveDirectoryStore> store;
    try {
        store = CreateDirectoryStore();
    } catch (const std::exception& e) {
        status.loadError = e.what();
        return status;
    }
    if (!ControllerAnswers(store)) {
        return KeptDirectoryStatus(store, DirectoryAnswersPath(files));
    }
    return GatherDirectoryStatus(store, FACTORY_STORE_TIMEOUT_SECONDS, DirectoryAnswersPath(files));
}

MembershipRecord ReadMembershipRecord()
{
    MembershipRecord record;
    if (!DatabaseExists()) {
        return record;
    }
    ActiveDirectoryConfigStore records;
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
    if (!DatabaseExists()) {
        return "";
    }
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
    if (!DatabaseExists()) {
        return VERIFY_BY_DEFAULT;
    }
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

// What the process was refused for want of rights: the plug-in's answers,
// the configuration store database.
std::string Unreadable(const StatusReport& report)
{
    const DirectoryStatus& directory = report.directory;
    if (directory.configuration.accessDenied || directory.trustedDomains.accessDenied ||
        directory.trustState.accessDenied) {
        return "the directory client's record of the membership";
    }
    const std::string database = OrvPlatform::Settings::GetConfigStorePath();
    if (report.records.configStoreEnabled && ::access(database.c_str(), F_OK) == 0 &&
        ::access(database.c_str(), R_OK) != 0 && errno == EACCES) {
        return "the configuration store database " + database;
    }
    return "";
}

}  // namespace

std::string DirectoryAnswersPath(const HostFiles& files) { return files.stateDirectory + "/" + CACHE_FILE; }

StatusReport GatherStatus(const HostFiles& files)
{
    StatusReport report;
    report.configDirectory = orvane::authentication::ConfigurationDirectory();
    report.pluginDirectory = orvane::authentication::PluginDirectory();
    report.activeStore = Attempt<std::string>(RecordedActiveStore);
    report.directory = GatherDirectoryStatusFromFactory(files);
    report.records = GatherHostRecords();
    report.unreadable = Unreadable(report);
    report.summary = SummariseStatus(report, files);
    return report;
}

}  // namespace orvane::host
