// adclient: the directory client for a real Active Directory domain. This
// file is its operation table, the C interface the library calls: each entry
// checks its arguments, hands the work to the membership (Membership.h) or
// the look-ups (DirectoryLookups.h) and turns the outcome into a status.
// What the plug-in needs on the host, its state and its statuses are
// described in docs/plugins.md.
#include "adclient/AdClientState.h"
#include "adclient/AdcliProcess.h"
#include "adclient/BuildSettings.h"
#include "adclient/DirectoryLookups.h"
#include "adclient/HostIdentity.h"
#include "adclient/Membership.h"
#include "common/Names.h"
#include "common/Results.h"
#include "common/StatusError.h"

#include <orvane/authentication/ActiveDirectoryClient.h>
#include <orvane/authentication/PluginStatus.h>

#include <cstring>
#include <type_traits>

using namespace orvauth_plugin;
using namespace adclient;

namespace {

// Never destroyed: the library's workers may still be inside an operation
// while the process exits.
AdcliRunner& Adcli()
{
    static AdcliProgram* const adcli = new AdcliProgram(ADCLIENT_ADCLI_PATH);
    return *adcli;
}

Membership& TheMembership()
{
    static Membership* const membership = new Membership(Adcli(), SssdSettings::Defaults(), ORVAUTH_KRB5_CONF);
    return *membership;
}

std::vector<std::string> WordList(const char* const* array) { return orvauth_plugin::WordList(array, IsPlainWord); }

// A password or one-time password goes to adcli as one line of input.
void RequireSecret(const char* secret)
{
    if (secret == nullptr || *secret == '\0' || std::strpbrk(secret, "\r\n") != nullptr) {
        Fail(ORVAUTH_STATUS_INVALID_PARAMETER);
    }
}

std::int32_t ReturnList(const char* key, char*** out, ActiveDirectoryClientReleaseFunction* release)
{
    return ReturnStrings(out, release, [key] {
        std::lock_guard<std::mutex> guard(StateLock());
        return LoadState().Values(key);
    });
}

std::int32_t StoreList(const char* key, const char* const* array)
{
    return static_cast<std::int32_t>(Guarded([&] {
        const std::vector<std::string> values = WordList(array);
        std::lock_guard<std::mutex> guard(StateLock());
        StateFile state = LoadState();
        state.Replace(key, values);
        SaveState(state);
    }));
}

// Without a user name the password is the one-time password of the account
// an administrator preset for this host.
std::int32_t JoinDomain(const char* domainName, const char* organizationalUnit, const Credentials* credentials)
{
    return static_cast<std::int32_t>(Guarded([&] {
        if (credentials == nullptr || (organizationalUnit != nullptr && !IsStorable(organizationalUnit))) {
            Fail(ORVAUTH_STATUS_INVALID_PARAMETER);
        }
        RequireSecret(credentials->password);
        if (!IsPlainWord(domainName)) {
            Fail(ORVAUTH_STATUS_INVALID_DOMAIN_NAME);
        }
        const std::string unit = organizationalUnit ? organizationalUnit : "";
        if (credentials->userName == nullptr) {
            TheMembership().JoinPreset(domainName, unit, LocalHostFqdn(), credentials->password);
            return;
        }
        TheMembership().Join(domainName, unit, LocalHostFqdn(), LoginName(credentials->userName),
                             credentials->password);
    }));
}

std::int32_t PartDomain(const Credentials* credentials)
{
    return static_cast<std::int32_t>(Guarded([&] {
        const bool withCredentials = credentials != nullptr && credentials->userName != nullptr;
        TheMembership().Leave(withCredentials ? credentials->userName : nullptr,
                              withCredentials ? credentials->password : nullptr);
    }));
}

std::int32_t GetActiveDomain(ActiveDirectoryClientDomainName* domain, ActiveDirectoryClientReleaseFunction* release)
{
    return static_cast<std::int32_t>(Guarded([&] {
        if (domain == nullptr || release == nullptr) {
            Fail(ORVAUTH_STATUS_INVALID_PARAMETER);
        }
        const JoinedDomain joined = RequireJoined();
        char* dns = CopyString(joined.domain);
        char* netbios = nullptr;
        try {
            netbios = CopyString(joined.netbios);
        } catch (...) {
            ReleaseResult(dns);
            throw;
        }
        domain->dnsName = dns;
        domain->netbiosName = netbios;
        *release = ReleaseResult;
    }));
}

std::int32_t SetPreferredDomainControllers(const char* const* controllers)
{
    return StoreList(keys::PREFERRED_CONTROLLER, controllers);
}

std::int32_t GetPreferredDomainControllers(char*** controllers, ActiveDirectoryClientReleaseFunction* release)
{
    return ReturnList(keys::PREFERRED_CONTROLLER, controllers, release);
}

TrustState GetDomainTrustState()
{
    switch (Guarded([] { TheMembership().CheckTrust(); })) {
    case ORVAUTH_STATUS_SUCCESS:
        return ORVAUTH_TRUST_GOOD;
    case ORVAUTH_STATUS_FILE_NOT_FOUND:
        return ORVAUTH_TRUST_NOT_JOINED;
    case ORVAUTH_STATUS_NO_SUCH_DOMAIN:
    case ORVAUTH_STATUS_TIMED_OUT:
        return ORVAUTH_TRUST_UNREACHABLE;
    case ORVAUTH_STATUS_NO_SUCH_USER:
    case ORVAUTH_STATUS_INVALID_PASSWORD:
    case ORVAUTH_STATUS_ACCOUNT_DISABLED:
    case ORVAUTH_STATUS_PASSWORD_EXPIRED:
        return ORVAUTH_TRUST_BROKEN;
    default:
        return ORVAUTH_TRUST_OTHER_FAILURE;
    }
}

std::int32_t GetTrustedDomains(ActiveDirectoryClientDomainName*** domains,
                               ActiveDirectoryClientReleaseFunction* release)
{
    return static_cast<std::int32_t>(Guarded([&] {
        if (domains == nullptr || release == nullptr) {
            Fail(ORVAUTH_STATUS_INVALID_PARAMETER);
        }
        std::vector<std::pair<std::string, std::string>> pairs;
        for (const TrustedDomain& domain : TrustedDomains(RequireJoined())) {
            pairs.emplace_back(domain.dnsName, domain.netbiosName);
        }
        *domains = CopyDomainNameArray(pairs);
        *release = ReleaseResult;
    }));
}

std::string MachineAccountDNAnswer(const char*) { return MachineAccountDN(RequireJoined()); }

std::int32_t GetMachineAccountDN(char** distinguishedName, ActiveDirectoryClientReleaseFunction* release)
{
    return ReturnString(distinguishedName, release, MachineAccountDNAnswer, nullptr);
}

std::int32_t GetAnyDomainController(const char* selector, const char* domainName, char** controller,
                                    ActiveDirectoryClientReleaseFunction* release)
{
    return static_cast<std::int32_t>(Guarded([&] {
        if (controller == nullptr || release == nullptr || (selector != nullptr && !IsPlainWord(selector))) {
            Fail(ORVAUTH_STATUS_INVALID_PARAMETER);
        }
        if (!IsPlainWord(domainName)) {
            Fail(ORVAUTH_STATUS_INVALID_DOMAIN_NAME);
        }
        *controller = CopyString(AnyDomainController(Adcli(), selector, domainName));
        *release = ReleaseResult;
    }));
}

std::string CanonicalUsernameAnswer(const char* userName)
{
    if (userName == nullptr || *userName == '\0' || !IsStorable(userName)) {
        Fail(ORVAUTH_STATUS_INVALID_ACCOUNT_NAME);
    }
    return CanonicalUsername(RequireJoined(), userName);
}

std::int32_t ConvertCanonicalUsername(const char* userName, char** canonicalName,
                                      ActiveDirectoryClientReleaseFunction* release)
{
    return ReturnString(canonicalName, release, CanonicalUsernameAnswer, userName);
}

// The account an authentication proxy preset: createdValue1 is its
// distinguished name (informational), createdValue2 the one-time password.
std::int32_t JoinDomainWithMachineAccount(const ActiveDirectoryClientDomainInfo* domainInfo,
                                          const ActiveDirectoryClientMachineAccountInfo* account)
{
    return static_cast<std::int32_t>(Guarded([&] {
        if (domainInfo == nullptr || account == nullptr || domainInfo->dnsName == nullptr ||
            domainInfo->netbiosName == nullptr || domainInfo->sid == nullptr || account->hostName == nullptr ||
            account->createdValue1 == nullptr || account->createdValue2 == nullptr) {
            Fail(ORVAUTH_STATUS_INVALID_PARAMETER);
        }
        if (*account->createdValue2 == '\0') {
            Fail(ORVAUTH_STATUS_NO_TRUST_ACCOUNT);
        }
        RequireSecret(account->createdValue2);
        const char* domain = *domainInfo->dnsName != '\0' ? domainInfo->dnsName : domainInfo->netbiosName;
        if (!IsPlainWord(domain)) {
            Fail(ORVAUTH_STATUS_INVALID_DOMAIN_NAME);
        }
        if (!IsPlainWord(account->hostName)) {
            Fail(ORVAUTH_STATUS_INVALID_COMPUTER_NAME);
        }
        // The proxy names the host by its short name; keep the host's own
        // fully qualified name when it is the same host.
        std::string hostFqdn = std::string(account->hostName) + "." + domain;
        try {
            const std::string local = LocalHostFqdn();
            if (EqualsIgnoringCase(local.substr(0, local.find('.')), account->hostName)) {
                hostFqdn = local;
            }
        } catch (const StatusError&) {
        }
        TheMembership().JoinWithAccount(domain, hostFqdn, account->createdValue2, domainInfo->sid);
    }));
}

std::string HostPrincipalAnswer(const char* domainName)
{
    if (domainName == nullptr || *domainName == '\0') {
        Fail(ORVAUTH_STATUS_INVALID_DOMAIN_NAME);
    }
    return HostPrincipal(RequireJoined(), domainName);
}

std::int32_t GetHostPrincipalForDomain(const char* domainName, char** principal,
                                       ActiveDirectoryClientReleaseFunction* release)
{
    return ReturnString(principal, release, HostPrincipalAnswer, domainName);
}

std::uint32_t GetDomainTrustRelationship(const char* domainName)
{
    std::uint32_t relation = ORVAUTH_RELATION_NONE;
    Guarded([&] {
        if (domainName != nullptr && *domainName != '\0') {
            relation = TrustRelationship(RequireJoined(), domainName);
        }
    });
    return relation;
}

std::int32_t SetSmartCardEnabledServices(const char* const* services)
{
    return StoreList(keys::SMARTCARD_SERVICE, services);
}

std::int32_t GetSmartCardEnabledServices(char*** services, ActiveDirectoryClientReleaseFunction* release)
{
    return ReturnList(keys::SMARTCARD_SERVICE, services, release);
}

std::int32_t RenewMachinePassword()
{
    return static_cast<std::int32_t>(Guarded([] { TheMembership().RenewPassword(); }));
}

// At load: what a run killed with its process left in /tmp goes, and what
// the journal alone can settle is settled (the rest needs the directory and
// waits for the next join, leave or status).
__attribute__((constructor)) void CleanUpAfterInterruptedRuns()
{
    RemoveAbandonedScratchDirectories();
    Guarded([] { TheMembership().SettleWithoutDirectory(); });
}

}  // namespace

#define ORVAUTH_PLUGIN_EXPORT __attribute__((visibility("default")))

extern "C" {

// A host joined this way authenticates users through SSSD's modules.
ORVAUTH_PLUGIN_EXPORT struct ActiveDirectoryClientMetadata ActiveDirectoryClientMetadata = {
    4, "pam_sss.so", nullptr, "sss", nullptr,
};

// What status shows of the host's account besides its name.
ORVAUTH_PLUGIN_EXPORT int OrvauthPluginMachineAccountAttributes(char*** attributes,
                                                                ActiveDirectoryClientReleaseFunction* release)
{
    return ReturnStrings(attributes, release, [] { return MachineAccountAttributes(RequireJoined()); });
}
static_assert(std::is_same<decltype(&OrvauthPluginMachineAccountAttributes), OrvauthPluginAccountAttributesFunction>::value,
              "the export's type");

ORVAUTH_PLUGIN_EXPORT struct ActiveDirectoryClientOperations ActiveDirectoryClientOperations = {
    4,
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
    RenewMachinePassword,
};

}  // extern "C"
