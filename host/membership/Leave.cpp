#include <orvane/host/Membership.h>

#include <orvane/authentication/ActiveDirectoryConfigStore.h>
#include <orvane/authentication/Exceptions.h>
#include <orvane/host/DnsRegistration.h>
#include <orvane/host/IdMapping.h>
#include <orvane/host/Stores.h>

#include <sstream>

namespace orvane::host {
namespace {

using orvane::authentication::ActiveDirectoryConfigStore;

// Returns false when there was none to remove.
bool RemoveDomainRecord()
{
    if (!ActiveDirectoryConfigStore::IsConfigStoreEnabled()) {
        return false;
    }
    ActiveDirectoryConfigStore configStore;
    try {
        configStore.GetDomainName();
    } catch (const orvane::authentication::ConfigurationError&) {
        return false;
    }
    configStore.RemoveDomainInfo();
    return true;
}

bool DnsRegistered(const HostFiles& files)
{
    try {
        return DnsUpdateOn(files);
    } catch (const std::exception&) {
        return false;  // unreadable settings: nothing is said of records that cannot be known
    }
}

}  // namespace

void LeaveDomain(const Credentials* credentials, std::ostream& report, const HostFiles& files)
{
    const bool registered = DnsRegistered(files);
    // While the machine account that owns them still exists.
    if (credentials != nullptr && registered) {
        try {
            RemoveDnsRecords(files, report);
        } catch (const std::exception& e) {
            report << "The host's DNS records stay: " << e.what() << "; remove them in the domain's DNS\n";
        }
    }
    std::unique_ptr<orvane::authentication::ActiveDirectoryStore> store = CreateDirectoryStore();
    bool parted = true;
    try {
        credentials != nullptr ? store->PartDomain(*credentials) : store->PartDomain();
    } catch (const orvane::authentication::FileNotFoundException&) {
        // The directory client holds no membership: an earlier leave was
        // interrupted if the record remains, else there is nothing to leave.
        if (!RemoveDomainRecord()) {
            throw NotJoined("the host is not joined to a domain: there is nothing to leave");
        }
        parted = false;
    }
    if (parted && credentials != nullptr) {
        RemoveDomainRecord();
    }
    std::ostringstream unheard;  // the plug-in stopped SSSD: there is no restart to tell of
    ForgetIdMapping(files, unheard);
    if (credentials == nullptr && registered) {
        report << "The host's DNS records stay in the domain's DNS (a leave with credentials removes them).\n";
    }
}

}  // namespace orvane::host
