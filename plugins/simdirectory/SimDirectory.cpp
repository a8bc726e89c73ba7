// simdirectory: a directory client plug-in that simulates one Active
// Directory domain from simdirectory.state in the plug-in directory, so that
// joins, leaves and domain queries can be exercised on a host without a
// domain. See docs/plugins.md for the state file and each operation's
// answers.
#include "base/HostIdentity.h"
#include "common/Names.h"
#include "common/StatusError.h"
#include "common/Results.h"
#include "common/StateFile.h"
#include "simdirectory/SimulatedDomain.h"

#include <orvane/authentication/ActiveDirectoryClient.h>

#include <memory>
#include <mutex>
#include <unistd.h>

using namespace orvauth_plugin;

namespace {

// Operations may run concurrently on the library's worker threads; every
// read-modify-write of the state file happens under this lock.
std::mutex stateLock;

std::string StatePath()
{
    return PluginDirectory(reinterpret_cast<const void*>(&StatePath)) + "/simdirectory.state";
}

SimulatedDomain LoadDomain() { return SimulatedDomain::Load(StatePath()); }

// A value that ends up on a line of its own in the state file, or in a list
// whose entries are single words.
bool IsWord(const char* text)
{
    if (text == nullptr || *text == '\0' || !IsStorable(text)) {
        return false;
    }
    for (const char* c = text; *c != '\0'; ++c) {
        if (*c == ' ' || *c == '\t') {
            return false;
        }
    }
    return true;
}

std::vector<std::string> WordList(const char* const* array) { return orvauth_plugin::WordList(array, IsWord); }

std::string LocalHostName()
{
    orvauth_base::HostIdentity identity;
    orvauth_base::ReadHostIdentity(identity);
    if (identity.hostName.empty() || !IsWord(identity.hostName.c_str())) {
        Fail(ORVAUTH_STATUS_INVALID_COMPUTER_NAME);
    }
    return identity.hostName;
}

void RequireJoined(const SimulatedDomain& domain)
{
    if (!domain.IsJoined()) {
        Fail(ORVAUTH_STATUS_FILE_NOT_FOUND);
    }
}

// --- operations ----------------------------------------------------------------

std::int32_t JoinDomain(const char* domainName, const char* organizationalUnit, const Credentials* credentials)
{
    return static_cast<std::int32_t>(Guarded([&] {
        if (credentials == nullptr || (organizationalUnit != nullptr && !IsStorable(organizationalUnit))) {
            Fail(ORVAUTH_STATUS_INVALID_PARAMETER);
        }
        if (!IsWord(domainName)) {
            Fail(ORVAUTH_STATUS_INVALID_DOMAIN_NAME);
        }
        const std::string hostName = LocalHostName();
        const std::string unit = organizationalUnit == nullptr ? "" : organizationalUnit;
        std::lock_guard<std::mutex> guard(stateLock);
        SimulatedDomain domain = LoadDomain();
        if (domain.IsJoined()) {
            Fail(ORVAUTH_STATUS_ALREADY_JOINED);
        }
        if (!domain.IsOwnDomain(domainName)) {
            Fail(ORVAUTH_STATUS_NO_SUCH_DOMAIN);
        }
        domain.CheckCredentials(*credentials);
        domain.RecordJoin(hostName, unit, MachineAccountDN(hostName, unit, domain.DnsName()));
        domain.Save();
    }));
}

std::int32_t PartDomain(const Credentials* credentials)
{
    return static_cast<std::int32_t>(Guarded([&] {
        std::lock_guard<std::mutex> guard(stateLock);
        SimulatedDomain domain = LoadDomain();
        RequireJoined(domain);
        const bool withCredentials = credentials != nullptr && credentials->userName != nullptr;
        if (withCredentials) {
            domain.CheckCredentials(*credentials);
        }
        domain.RecordLeave(withCredentials);
        domain.Save();
    }));
}

std::int32_t GetActiveDomain(ActiveDirectoryClientDomainName* result, ActiveDirectoryClientReleaseFunction* release)
{
    return static_cast<std::int32_t>(Guarded([&] {
        if (result == nullptr || release == nullptr) {
            Fail(ORVAUTH_STATUS_INVALID_PARAMETER);
        }
        std::pair<std::string, std::string> names;
        {
            std::lock_guard<std::mutex> guard(stateLock);
            names = LoadDomain().ActiveDomain();
        }
        std::unique_ptr<char, void (*)(void*)> dnsName(nullptr, ReleaseResult);
        std::unique_ptr<char, void (*)(void*)> netbiosName(nullptr, ReleaseResult);
        if (!names.first.empty()) {
            dnsName.reset(CopyString(names.first));
        }
        if (!names.second.empty()) {
            netbiosName.reset(CopyString(names.second));
        }
        result->dnsName = dnsName.release();
        result->netbiosName = netbiosName.release();
        *release = ReleaseResult;
    }));
}

std::int32_t SetPreferredDomainControllers(const char* const* controllers)
{
    return static_cast<std::int32_t>(Guarded([&] {
        const std::vector<std::string> list = WordList(controllers);
        std::lock_guard<std::mutex> guard(stateLock);
        SimulatedDomain domain = LoadDomain();
        domain.ReplaceList(keys::PREFERRED_CONTROLLER, list);
        domain.Save();
    }));
}

std::int32_t GetList(const char* key, char*** result, ActiveDirectoryClientReleaseFunction* release)
{
    return ReturnStrings(result, release, [key] {
        std::lock_guard<std::mutex> guard(stateLock);
        return LoadDomain().List(key);
    });
}

std::int32_t GetPreferredDomainControllers(char*** controllers, ActiveDirectoryClientReleaseFunction* release)
{
    return GetList(keys::PREFERRED_CONTROLLER, controllers, release);
}

TrustState GetDomainTrustState()
{
    try {
        std::lock_guard<std::mutex> guard(stateLock);
        return LoadDomain().GetTrustState();
    } catch (...) {
        return 0;
    }
}

std::int32_t GetTrustedDomains(ActiveDirectoryClientDomainName*** domains, ActiveDirectoryClientReleaseFunction* release)
{
    return static_cast<std::int32_t>(Guarded([&] {
        if (domains == nullptr || release == nullptr) {
            Fail(ORVAUTH_STATUS_INVALID_PARAMETER);
        }
        std::vector<std::pair<std::string, std::string>> trusted;
        {
            std::lock_guard<std::mutex> guard(stateLock);
            const SimulatedDomain domain = LoadDomain();
            RequireJoined(domain);
            trusted = domain.TrustedDomains();
        }
        *domains = CopyDomainNameArray(trusted);
        *release = ReleaseResult;
    }));
}

std::string MachineAccountDNAnswer(const char*)
{
    std::lock_guard<std::mutex> guard(stateLock);
    const SimulatedDomain domain = LoadDomain();
    RequireJoined(domain);
    return domain.MachineAccountDN();
}

std::int32_t GetMachineAccountDN(char** distinguishedName, ActiveDirectoryClientReleaseFunction* release)
{
    return ReturnString(distinguishedName, release, MachineAccountDNAnswer, nullptr);
}

std::int32_t GetAnyDomainController(const char* selector, const char* domainName, char** controller,
                                    ActiveDirectoryClientReleaseFunction* release)
{
    return static_cast<std::int32_t>(Guarded([&] {
        if (domainName == nullptr || controller == nullptr || release == nullptr) {
            Fail(ORVAUTH_STATUS_INVALID_PARAMETER);
        }
        std::vector<std::string> controllers;
        {
            std::lock_guard<std::mutex> guard(stateLock);
            const SimulatedDomain domain = LoadDomain();
            KnownDomain known;
            if (!domain.Find(domainName, known)) {
                Fail(ORVAUTH_STATUS_NO_SUCH_DOMAIN);
            }
            controllers = domain.ControllersOf(known);
        }
        for (const std::string& candidate : controllers) {
            if (selector == nullptr || StartsWithIgnoringCase(candidate, selector)) {
                *controller = CopyString(candidate);
                *release = ReleaseResult;
                return;
            }
        }
        Fail(ORVAUTH_STATUS_NO_LOGON_SERVERS);
    }));
}

// NETBIOS\user for a user of the joined domain or a trusted one; the domain
// part of "user@dns.name" or "ANY\user" picks which.
std::string CanonicalUsernameAnswer(const char* userName)
{
    if (userName == nullptr || *userName == '\0') {
        Fail(ORVAUTH_STATUS_INVALID_ACCOUNT_NAME);
    }
    std::lock_guard<std::mutex> guard(stateLock);
    const SimulatedDomain domain = LoadDomain();
    RequireJoined(domain);
    const UserName split = SplitUserName(userName, domain.DnsName());
    const std::string& name = split.account;
    const std::string& domainPart = split.domain;
    KnownDomain known;
    if (!domain.Find(domainPart, known)) {
        Fail(ORVAUTH_STATUS_NO_SUCH_DOMAIN);
    }
    return ToUpper(known.netbiosName) + "\\" + name;
}

std::int32_t ConvertCanonicalUsername(const char* userName, char** canonicalName,
                                      ActiveDirectoryClientReleaseFunction* release)
{
    return ReturnString(canonicalName, release, CanonicalUsernameAnswer, userName);
}

std::int32_t JoinDomainWithMachineAccount(const ActiveDirectoryClientDomainInfo* domainInfo,
                                          const ActiveDirectoryClientMachineAccountInfo* account)
{
    return static_cast<std::int32_t>(Guarded([&] {
        if (domainInfo == nullptr || account == nullptr || domainInfo->dnsName == nullptr ||
            domainInfo->netbiosName == nullptr || domainInfo->sid == nullptr || account->hostName == nullptr ||
            account->createdValue1 == nullptr || account->createdValue2 == nullptr) {
            Fail(ORVAUTH_STATUS_INVALID_PARAMETER);
        }
        if (!IsWord(account->hostName)) {
            Fail(ORVAUTH_STATUS_INVALID_COMPUTER_NAME);
        }
        const std::string createdValue1 = account->createdValue1;
        if (createdValue1.empty() || *account->createdValue2 == '\0' || !IsStorable(createdValue1)) {
            Fail(ORVAUTH_STATUS_NO_TRUST_ACCOUNT);
        }
        std::lock_guard<std::mutex> guard(stateLock);
        SimulatedDomain domain = LoadDomain();
        if (domain.IsJoined()) {
            Fail(ORVAUTH_STATUS_ALREADY_JOINED);
        }
        const char* name = *domainInfo->dnsName != '\0' ? domainInfo->dnsName : domainInfo->netbiosName;
        if (!domain.IsOwnDomain(name)) {
            Fail(ORVAUTH_STATUS_NO_SUCH_DOMAIN);
        }
        const std::string sid = domain.List(keys::SID).empty() ? "" : domain.List(keys::SID).back();
        if (!sid.empty() && *domainInfo->sid != '\0' && !EqualsIgnoringCase(sid, domainInfo->sid)) {
            Fail(ORVAUTH_STATUS_DOMAIN_TRUST_INCONSISTENT);
        }
        // A proxy that reports the account's distinguished name as its first
        // created value decides where the account lives.
        const std::string dn = StartsWithIgnoringCase(createdValue1, "CN=")
                                   ? createdValue1
                                   : MachineAccountDN(account->hostName, "", domain.DnsName());
        domain.RecordJoin(account->hostName, "", dn);
        domain.Save();
    }));
}

std::string HostPrincipalAnswer(const char* domainName)
{
    if (domainName == nullptr) {
        Fail(ORVAUTH_STATUS_INVALID_PARAMETER);
    }
    std::lock_guard<std::mutex> guard(stateLock);
    const SimulatedDomain domain = LoadDomain();
    RequireJoined(domain);
    KnownDomain known;
    if (!domain.Find(domainName, known)) {
        Fail(ORVAUTH_STATUS_NO_SUCH_DOMAIN);
    }
    return AccountNameForHost(domain.JoinedHost()) + "$@" + ToUpper(known.dnsName);
}

std::int32_t GetHostPrincipalForDomain(const char* domainName, char** principal,
                                       ActiveDirectoryClientReleaseFunction* release)
{
    return ReturnString(principal, release, HostPrincipalAnswer, domainName);
}

std::uint32_t GetDomainTrustRelationship(const char* domainName)
{
    try {
        std::lock_guard<std::mutex> guard(stateLock);
        const SimulatedDomain domain = LoadDomain();
        KnownDomain known;
        if (domainName == nullptr || !domain.IsJoined() || !domain.Find(domainName, known)) {
            return 0;
        }
        return known.relationship;
    } catch (...) {
        return 0;
    }
}

std::int32_t SetSmartCardEnabledServices(const char* const* services)
{
    return static_cast<std::int32_t>(Guarded([&] {
        const std::vector<std::string> list = WordList(services);
        std::lock_guard<std::mutex> guard(stateLock);
        SimulatedDomain domain = LoadDomain();
        domain.ReplaceList(keys::SMARTCARD_SERVICE, list);
        domain.Save();
    }));
}

std::int32_t GetSmartCardEnabledServices(char*** services, ActiveDirectoryClientReleaseFunction* release)
{
    return GetList(keys::SMARTCARD_SERVICE, services, release);
}

}  // namespace

#define ORVAUTH_PLUGIN_EXPORT __attribute__((visibility("default")))

extern "C" {

ORVAUTH_PLUGIN_EXPORT struct ActiveDirectoryClientMetadata ActiveDirectoryClientMetadata = {
    3,
    "pam_simdirectory.so",
    "try_first_pass",
    "simdirectory",
    nullptr,
};

ORVAUTH_PLUGIN_EXPORT struct ActiveDirectoryClientOperations ActiveDirectoryClientOperations = {
    3,
    JoinDomain,
    PartDomain,
    GetActiveDomain,
    SetPreferredDomainControllers,
    GetPreferredDomainControllers,
    nullptr,  // slot 6 is reserved
    GetDomainTrustState,
    GetTrustedDomains,
    GetMachineAccountDN,
    GetAnyDomainController,
    ConvertCanonicalUsername,
    JoinDomainWithMachineAccount,
    GetHostPrincipalForDomain,
    GetDomainTrustRelationship,
    SetSmartCardEnabledServices,
    GetSmartCardEnabledServices,
    nullptr,  // slot 17 (API version 4): no machine password to renew
};

}  // extern "C"
