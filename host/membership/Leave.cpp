#include <orvane/host/Membership.h>

#include <orvane/authentication/ActiveDirectoryConfigStore.h>
#include <orvane/authentication/Exceptions.h>
#include <orvane/host/Stores.h>

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

}  // namespace

void LeaveDomain(const Credentials* credentials)
{
    std::unique_ptr<orvane::authentication::ActiveDirectoryStore> store = CreateDirectoryStore();
    try {
        credentials != nullptr ? store->PartDomain(*credentials) : store->PartDomain();
    } catch (const orvane::authentication::FileNotFoundException&) {
        // The directory client holds no membership: an earlier leave was
        // interrupted if the record remains, else there is nothing to leave.
        if (!RemoveDomainRecord()) {
            throw NotJoined("the host is not joined to a domain: there is nothing to leave");
        }
        return;
    }
    if (credentials != nullptr) {
        RemoveDomainRecord();
    }
}

}  // namespace orvane::host
