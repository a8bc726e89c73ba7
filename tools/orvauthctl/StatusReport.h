// What `status` reports: the active store and, when the directory client
// can be loaded, everything the directory store knows about the host's
// membership. Each item is gathered on its own, so one failing query is
// reported in its place instead of hiding the rest.
#pragma once

#include <orvane/authentication/ActiveDirectoryClient.h>
#include <orvane/authentication/ActiveDirectoryStore.h>
#include <orvane/authentication/Domain.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <iosfwd>
#include <list>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace orvauthctl {

// A value, or the message of the exception that prevented it.
template <typename T>
struct Outcome {
    bool ok = false;
    T value{};
    std::string error;
};

template <typename T>
Outcome<T> Attempt(const std::function<T()>& body)
{
    Outcome<T> outcome;
    try {
        outcome.value = body();
        outcome.ok = true;
    } catch (const std::exception& e) {
        outcome.error = e.what();
    }
    return outcome;
}

struct ModuleInfo {
    std::string name;
    std::list<std::string> parameters;
};

struct MembershipRecord {
    bool present = false;  // false: the host configuration store holds none
    std::string domainName;
    std::string organizationalUnit;
    std::string proxyAddress;
};

// What the directory client plug-in reports.
struct DirectoryStatus {
    std::string loadError;  // empty when the directory client was loaded
    // Joined domain, preferred controllers, machine account.
    Outcome<orvane::authentication::ActiveDirectoryStoreConfiguration> configuration;
    Outcome<std::deque<orvane::authentication::Domain>> trustedDomains;
    Outcome<TrustState> trustState;
    ModuleInfo pamModule;
    ModuleInfo nssModule;
    // When no domain controller answered: the items shown from the last
    // complete answers ("configuration" or only its "machineAccount",
    // "trustedDomains", "trustState") and when those were obtained.
    std::vector<std::string> cachedItems;
    std::string cachedSince;
};

// What the host keeps about its membership outside the plug-in.
struct HostRecords {
    bool configStoreEnabled = false;
    Outcome<MembershipRecord> membership;  // only when the store is enabled
    // Trusted proxy certificates: with the configuration store enabled, one
    // thumbprint for every proxy ("" when none was imported); otherwise one
    // per server address, from jorvservers.conf.
    Outcome<std::string> proxyThumbprint;
    Outcome<std::map<std::string, std::string>> proxyThumbprints;
    Outcome<int64_t> verifyProxyCertificate;
};

struct StatusReport {
    Outcome<std::string> activeStore;
    std::string configDirectory;
    std::string pluginDirectory;
    DirectoryStatus directory;
    HostRecords records;
};

StatusReport GatherStatus();

// The directory's answers, all asked at once and waited for at most
// timeoutSeconds (the store's own) plus half a second together; an answer
// still missing then, like one the controller did not give, is taken from
// the last complete answers kept at cachePath, which a complete answer
// replaces. Questions still running are left to finish on their own.
DirectoryStatus GatherDirectoryStatus(const std::shared_ptr<const orvane::authentication::ActiveDirectoryStore>& store,
                                      int timeoutSeconds, const std::string& cachePath);

void PrintStatusText(std::ostream& out, const StatusReport& report);
void PrintStatusJson(std::ostream& out, const StatusReport& report);

}  // namespace orvauthctl
