// What status reports: the active store and, when the directory client
// can be loaded, everything the directory store knows about the host's
// membership. Each item is gathered on its own, so one failing query is
// reported in its place instead of hiding the rest.
#pragma once

#include <orvane/authentication/ActiveDirectoryClient.h>
#include <orvane/authentication/ActiveDirectoryStore.h>
#include <orvane/authentication/Domain.h>
#include <orvane/authentication/Exceptions.h>
#include <orvane/host/Export.h>
#include <orvane/host/HostFiles.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace orvane::host {

// A value, or the message of the exception that prevented it.
template <typename T>
struct Outcome {
    bool ok = false;
    T value{};
    std::string error;
    bool accessDenied = false;  // the error is a refusal to the process's rights
};

template <typename T>
Outcome<T> Attempt(const std::function<T()>& body)
{
    Outcome<T> outcome;
    try {
        outcome.value = body();
        outcome.ok = true;
    } catch (const orvane::authentication::Exception& e) {
        outcome.error = e.what();
        outcome.accessDenied = e.Code() == 5;  // ERROR_ACCESS_DENIED
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
    // complete answers ("configuration" or only its "machine_account",
    // "trusted_domains", "trust_state") and when those were obtained.
    std::vector<std::string> cachedItems;
    std::string cachedSince;
    // The machine account's attributes the plug-in reads for the operator
    // (operatingSystem, operatingSystemVersion, description), by name;
    // asked with the configuration, kept with it.
    std::map<std::string, std::string> accountAttributes;
    // The host's principal in its domain ("NODE01$@AD.EXAMPLE.TEST"), as
    // the plug-in names it without asking the directory; empty when unknown.
    std::string hostPrincipal;
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

// The facts status shows by default, one line each, in the order of the
// screen: what the rest of the report and the host's settings say, read
// once. Empty text: not known, or not joined.
struct StatusSummary {
    bool joined = false;
    std::string domain;       // DNS name
    std::string netbiosName;
    std::string realm;        // Kerberos realm
    std::string account;      // the machine account ("NODE01$")
    std::string container;    // where the account is ("CN=Computers,DC=ad,...")
    std::string trust;        // the trust state in words
    TrustState trustState = 0;
    bool loginsEnabled = false;               // the PAM and NSS modules are in place
    std::vector<std::string> permittedLogins; // who may log in, one line per permitted set
    std::vector<std::string> administrators;  // who may use sudo; empty: nobody from the directory
    std::string idMapping = "sid";            // "sid": SSSD maps SIDs to IDs
    bool dnsRegistration = false;             // this host registers its records in the domain's DNS
    int64_t passwordSet = 0;  // when the machine password was set (the keys' time, seconds since 1970); 0: unknown
    int keyVersion = 0;       // the keytab's newest key version of the account; 0: unknown
    int renewAfterDays = 30;  // SSSD renews the password at its first check past this age (days); 0: never
    // The users' homes (SSSD's template, %u the user, %d the domain) and
    // the shell of those the directory gives none; empty: not known.
    std::string homeDirectory, defaultShell;
    // The account's attributes in the directory; empty: none or not known.
    std::string operatingSystem, operatingSystemVersion, description;
    // Set when the directory's facts are the kept ones: when they were obtained.
    std::string cachedSince;
};

struct StatusReport {
    StatusSummary summary;
    Outcome<std::string> activeStore;
    std::string configDirectory;
    std::string pluginDirectory;
    DirectoryStatus directory;
    HostRecords records;
    // Not empty when the process lacks the rights to read the membership
    // (the plug-in's state, the configuration store): what was refused. The
    // items are then not the host's, whatever they say.
    std::string unreadable;
};

// Everything status shows. A joined host asks the plug-in for a controller
// of its domain first (the plug-in's probe, within 2.6 seconds): when none
// answers, the directory's part is the kept answers, without waiting on the
// directory. Otherwise the directory's answers wait at most 60 seconds and
// are kept in files.stateDirectory for a later run no controller answers.
ORVAUTHHOST_API StatusReport GatherStatus(const HostFiles& files = HostFiles::Defaults());

// The report as one JSON object (snake_case keys; null for what is not
// known; a failed item as {"error": text}), as orvauthctl status --json
// prints it.
ORVAUTHHOST_API std::string StatusJson(const StatusReport& report);

// The directory's answers, all asked at once and waited for at most
// timeoutSeconds (the store's own) plus half a second together; an answer
// still missing then, like one the controller did not give, is taken from
// the last complete answers kept at cachePath, which a complete answer
// replaces. Questions still running are left to finish on their own.
ORVAUTHHOST_API DirectoryStatus GatherDirectoryStatus(
    const std::shared_ptr<const orvane::authentication::ActiveDirectoryStore>& store, int timeoutSeconds,
    const std::string& cachePath);

// The kept answers: what GatherStatus(files) keeps, and when they were
// obtained (UTC, ISO 8601).
struct CachedDirectoryAnswers {
    std::string obtained;
    orvane::authentication::ActiveDirectoryStoreConfiguration configuration;
    std::deque<orvane::authentication::Domain> trustedDomains;
    TrustState trustState = 0;
    std::map<std::string, std::string> accountAttributes;
};
// The trust state in words ("good: the machine account logs in to the
// domain"); a plug-in's own value as "state <number>".
ORVAUTHHOST_API std::string TrustStateWords(TrustState state);
// The trust state in words with its number ("good: the machine account logs
// in to the domain (1)"); a plug-in's own value as its number alone.
ORVAUTHHOST_API std::string DescribeTrustState(TrustState state);

ORVAUTHHOST_API std::string DirectoryAnswersPath(const HostFiles& files);
// False when there are none or they cannot be read.
ORVAUTHHOST_API bool LoadDirectoryAnswers(const std::string& path, CachedDirectoryAnswers& answers);

}  // namespace orvane::host
