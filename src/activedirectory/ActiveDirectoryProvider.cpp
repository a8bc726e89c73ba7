#include "activedirectory/PluginFile.h"
#include "errors/MappedFailure.h"

#include <orvane/authentication/ActiveDirectoryProvider.h>
#include <orvane/authentication/Configuration.h>
#include <orvane/authentication/Exceptions.h>
#include <orvane/authentication/JoinRetries.h>
#include <orvane/authentication/PluginStatus.h>

#include <dlfcn.h>
#include <mutex>
#include <sstream>
#include <syslog.h>
#include <unistd.h>

namespace orvane {
namespace authentication {

namespace {

// Statuses on which a join is worth repeating: the directory may not yet
// know a freshly created account, or may not be reachable for a moment.
constexpr std::int32_t LOGON_FAILURE_STATUS = ORVAUTH_STATUS_LOGON_FAILURE;
constexpr std::int32_t TRANSIENT_STATUS = static_cast<std::int32_t>(0xFFFF0000u);
constexpr int JOIN_ATTEMPTS = 8;
constexpr unsigned JOIN_RETRY_SECONDS = 30;

std::string LoaderError()
{
    const char* error = dlerror();
    return error != nullptr ? error : "";
}

// A failed call's exception carries the reason the plug-in gave for it,
// asked on the thread that made the call.
void CheckStatus(void* handle, std::int32_t status)
{
    if (status != 0) {
        ThrowMappedException(static_cast<std::uint32_t>(status), PluginFailureReason(handle));
    }
}

// A table holds only the slots of its version; reading one beyond them
// would read past the plug-in's record.
void RequireVersion(const ActiveDirectoryClientOperations* operations, std::int32_t version)
{
    if (operations->apiVersion < version) {
        throw CallNotImplementedException();
    }
}

template <typename Slot>
void RequireSlot(Slot slot)
{
    if (slot == nullptr) {
        throw CallNotImplementedException();
    }
}

// Hands a result back to the plug-in when it goes out of scope, so the
// memory returns even when copying it fails. Plug-ins must pass a release
// function with every result; a missing one is skipped rather than called.
class PluginResult {
public:
    PluginResult(void* pointer, ActiveDirectoryClientReleaseFunction release) : pointer(pointer), release(release)
    {
    }
    ~PluginResult()
    {
        if (release != nullptr) {
            release(pointer);
        }
    }
    PluginResult(const PluginResult&) = delete;
    PluginResult& operator=(const PluginResult&) = delete;

private:
    void* pointer;
    ActiveDirectoryClientReleaseFunction release;
};

// A plug-in text that may be null; null reads as the empty string.
std::string TextOf(const char* text) { return text != nullptr ? std::string(text) : std::string(); }

template <typename Container>
Container CopyStringArray(char** items)
{
    Container strings;
    if (items != nullptr) {
        for (char** item = items; *item != nullptr; ++item) {
            strings.push_back(*item);
        }
    }
    return strings;
}

// A NULL-terminated array of pointers into the caller's strings; it must not
// outlive them.
template <typename Container>
std::vector<const char*> TerminatedArray(const Container& strings)
{
    std::vector<const char*> array;
    array.reserve(strings.size() + 1);
    for (const std::string& text : strings) {
        array.push_back(text.c_str());
    }
    array.push_back(nullptr);
    return array;
}

void AppendWords(const char* text, std::list<std::string>& words)
{
    if (text == nullptr) {
        return;
    }
    std::istringstream stream(text);
    std::string word;
    while (stream >> word) {
        words.push_back(word);
    }
}

bool IsRetryable(std::int32_t status) { return status == LOGON_FAILURE_STATUS || status == TRANSIENT_STATUS; }

std::mutex retryObserverLock;
JoinRetryObserver& RetryObserver()
{
    static JoinRetryObserver observer;
    return observer;
}

void TellRetry(void* handle, int attempt, std::int32_t status)
{
    JoinRetryObserver observer;
    {
        std::lock_guard<std::mutex> guard(retryObserverLock);
        observer = RetryObserver();
    }
    if (!observer) {
        return;
    }
    JoinRetry retry{attempt, JOIN_ATTEMPTS, JOIN_RETRY_SECONDS, static_cast<std::uint32_t>(status), ""};
    try {
        CheckStatus(handle, status);
    } catch (const Exception& error) {
        retry.message = error.what();
    }
    try {
        observer(retry);
    } catch (...) {
        // The join goes on whatever its observer does.
    }
}

// Calls attempt() until it answers something other than a retryable
// status, at most JOIN_ATTEMPTS times, sleeping after every retryable
// answer (the last one included) once the observer heard of it, and
// returns the last status.
template <typename Attempt>
std::int32_t CallWithJoinRetries(void* handle, Attempt attempt)
{
    std::int32_t status = 0;
    for (int number = 1; number <= JOIN_ATTEMPTS; ++number) {
        status = attempt(number);
        if (!IsRetryable(status)) {
            break;
        }
        TellRetry(handle, number, status);
        sleep(JOIN_RETRY_SECONDS);
    }
    return status;
}

}  // namespace

void SetJoinRetryObserver(JoinRetryObserver observer)
{
    std::lock_guard<std::mutex> guard(retryObserverLock);
    RetryObserver() = std::move(observer);
}

ActiveDirectoryProvider::ActiveDirectoryProvider(const std::string& name)
    : handle(nullptr), metadata(nullptr), operations(nullptr)
{
    std::string loaderError;
    try {
        handle = OpenPluginFile(name, loaderError);
    } catch (const UnsafePluginError& error) {
        throw InvalidActiveDirectoryProviderException(error.Name(), error.what());
    }
    if (handle == nullptr) {
        throw IOError("Unable to open provider: " + loaderError);
    }

    try {
        metadata = static_cast<const ActiveDirectoryClientMetadata*>(
            dlsym(handle, ACTIVE_DIRECTORY_CLIENT_METADATA_SYMBOL));
        if (metadata == nullptr) {
            throw InvalidActiveDirectoryProviderException(name, LoaderError());
        }
        if (metadata->apiVersion > ACTIVE_DIRECTORY_CLIENT_MAX_API_VERSION) {
            throw InvalidActiveDirectoryProviderException(
                name, "The API version (" + string_cast<int>(metadata->apiVersion) +
                          ") is not supported by this version of liborvauth");
        }
        operations = static_cast<const ActiveDirectoryClientOperations*>(
            dlsym(handle, ACTIVE_DIRECTORY_CLIENT_OPERATIONS_SYMBOL));
        if (operations == nullptr) {
            throw InvalidActiveDirectoryProviderException(name, LoaderError());
        }
        // Without its module names the plug-in cannot be configured into
        // PAM and NSS at all; refuse it here rather than copy a null text.
        if (metadata->pamModule == nullptr) {
            throw InvalidActiveDirectoryProviderException(name, "The provider declares no PAM module");
        }
        if (metadata->nssModule == nullptr) {
            throw InvalidActiveDirectoryProviderException(name, "The provider declares no NSS module");
        }
        CacheMetadata();
    } catch (...) {
        dlclose(handle);
        throw;
    }
}

ActiveDirectoryProvider::~ActiveDirectoryProvider() { dlclose(handle); }

void ActiveDirectoryProvider::CacheMetadata()
{
    pamModule = metadata->pamModule;
    AppendWords(metadata->pamModuleParameters, pamModuleParameters);
    nssModule = metadata->nssModule;
    AppendWords(metadata->nssModuleParameters, nssModuleParameters);
}

int ActiveDirectoryProvider::GetAPIVersion() const { return operations->apiVersion; }

void ActiveDirectoryProvider::JoinDomain(const std::string& domain, const std::string& organizationalUnit,
                                         const Credentials& credentials) const
{
    RequireSlot(operations->JoinDomain);
    const char* unit = organizationalUnit.empty() ? nullptr : organizationalUnit.c_str();
    CheckStatus(handle, CallWithJoinRetries(handle,
        [&](int) { return operations->JoinDomain(domain.c_str(), unit, &credentials); }));
}

void ActiveDirectoryProvider::JoinDomainWithMachineAccount(const JORV::DirectoryDomainInfo& domain,
                                                           const JORV::MachineAccountInfo& account) const
{
    RequireVersion(operations, 2);
    RequireSlot(operations->JoinDomainWithMachineAccount);
    const ActiveDirectoryClientDomainInfo domainRecord = {
        domain.domainController.c_str(), domain.netbiosName.c_str(), domain.dnsName.c_str(), domain.sid.c_str()};
    const ActiveDirectoryClientMachineAccountInfo accountRecord = {
        account.hostName.c_str(), account.dnsDomainName.c_str(), account.spareText.c_str(),
        account.createdValue1.c_str(), account.createdValue2.c_str()};
    CheckStatus(handle, CallWithJoinRetries(handle, [&](int number) {
        syslog(LOG_INFO, "Adding host to domain: Attempt (%d/%d)", number, JOIN_ATTEMPTS);
        return operations->JoinDomainWithMachineAccount(&domainRecord, &accountRecord);
    }));
}

void ActiveDirectoryProvider::PartDomain() const
{
    RequireSlot(operations->PartDomain);
    CheckStatus(handle, operations->PartDomain(nullptr));
}

void ActiveDirectoryProvider::PartDomain(const Credentials& credentials) const
{
    RequireSlot(operations->PartDomain);
    CheckStatus(handle, operations->PartDomain(&credentials));
}

Domain ActiveDirectoryProvider::GetActiveDomain() const
{
    RequireSlot(operations->GetActiveDomain);
    ActiveDirectoryClientDomainName names = {nullptr, nullptr};
    ActiveDirectoryClientReleaseFunction release = nullptr;
    CheckStatus(handle, operations->GetActiveDomain(&names, &release));

    Domain domain;
    if (names.dnsName != nullptr) {
        PluginResult result(names.dnsName, release);
        domain.dnsName = names.dnsName;
    }
    if (names.netbiosName != nullptr) {
        PluginResult result(names.netbiosName, release);
        domain.netbiosName = names.netbiosName;
    }
    return domain;
}

void ActiveDirectoryProvider::SetPreferredDomainControllers(const std::deque<std::string>& controllers) const
{
    RequireSlot(operations->SetPreferredDomainControllers);
    const std::vector<const char*> array = TerminatedArray(controllers);
    CheckStatus(handle, operations->SetPreferredDomainControllers(array.data()));
}

std::deque<std::string> ActiveDirectoryProvider::GetPreferredDomainControllers() const
{
    RequireSlot(operations->GetPreferredDomainControllers);
    char** controllers = nullptr;
    ActiveDirectoryClientReleaseFunction release = nullptr;
    CheckStatus(handle, operations->GetPreferredDomainControllers(&controllers, &release));
    PluginResult result(controllers, release);
    return CopyStringArray<std::deque<std::string>>(controllers);
}

TrustState ActiveDirectoryProvider::GetDomainTrustState() const
{
    RequireSlot(operations->GetDomainTrustState);
    return operations->GetDomainTrustState();
}

std::deque<Domain> ActiveDirectoryProvider::GetTrustedDomains() const
{
    RequireSlot(operations->GetTrustedDomains);
    ActiveDirectoryClientDomainName** records = nullptr;
    ActiveDirectoryClientReleaseFunction release = nullptr;
    CheckStatus(handle, operations->GetTrustedDomains(&records, &release));
    PluginResult result(records, release);

    std::deque<Domain> domains;
    if (records != nullptr) {
        for (ActiveDirectoryClientDomainName** record = records; *record != nullptr; ++record) {
            domains.emplace_back(TextOf((*record)->dnsName), TextOf((*record)->netbiosName));
        }
    }
    return domains;
}

namespace {

// The common shape of the single-string queries: status, copy, release.
template <typename Call>
std::string SingleString(void* handle, Call call)
{
    char* text = nullptr;
    ActiveDirectoryClientReleaseFunction release = nullptr;
    CheckStatus(handle, call(&text, &release));
    PluginResult result(text, release);
    return TextOf(text);
}

}  // namespace

std::string ActiveDirectoryProvider::GetMachineAccountDN() const
{
    RequireSlot(operations->GetMachineAccountDN);
    return SingleString(handle, [this](char** text, ActiveDirectoryClientReleaseFunction* release) {
        return operations->GetMachineAccountDN(text, release);
    });
}

std::string ActiveDirectoryProvider::GetAnyDomainController(const std::string& selector,
                                                            const std::string& domain) const
{
    RequireSlot(operations->GetAnyDomainController);
    const char* selectorText = selector.empty() ? nullptr : selector.c_str();
    return SingleString(handle, [&](char** text, ActiveDirectoryClientReleaseFunction* release) {
        return operations->GetAnyDomainController(selectorText, domain.c_str(), text, release);
    });
}

std::string ActiveDirectoryProvider::ConvertCanonicalUsername(const std::string& userName) const
{
    RequireSlot(operations->ConvertCanonicalUsername);
    return SingleString(handle, [&](char** text, ActiveDirectoryClientReleaseFunction* release) {
        return operations->ConvertCanonicalUsername(userName.c_str(), text, release);
    });
}

std::string ActiveDirectoryProvider::GetHostPrincipalForDomain(const std::string& domain) const
{
    RequireVersion(operations, 2);
    RequireSlot(operations->GetHostPrincipalForDomain);
    return SingleString(handle, [&](char** text, ActiveDirectoryClientReleaseFunction* release) {
        return operations->GetHostPrincipalForDomain(domain.c_str(), text, release);
    });
}

std::uint32_t ActiveDirectoryProvider::GetDomainTrustRelationship(const std::string& domain) const
{
    RequireVersion(operations, 3);
    RequireSlot(operations->GetDomainTrustRelationship);
    return operations->GetDomainTrustRelationship(domain.c_str());
}

void ActiveDirectoryProvider::SetSmartCardEnabledServices(const std::vector<std::string>& services) const
{
    RequireVersion(operations, 3);
    RequireSlot(operations->SetSmartCardEnabledServices);
    const std::vector<const char*> array = TerminatedArray(services);
    CheckStatus(handle, operations->SetSmartCardEnabledServices(array.data()));
}

std::vector<std::string> ActiveDirectoryProvider::GetSmartCardEnabledServices() const
{
    RequireVersion(operations, 3);
    RequireSlot(operations->GetSmartCardEnabledServices);
    char** services = nullptr;
    ActiveDirectoryClientReleaseFunction release = nullptr;
    CheckStatus(handle, operations->GetSmartCardEnabledServices(&services, &release));
    PluginResult result(services, release);
    return CopyStringArray<std::vector<std::string>>(services);
}

void ActiveDirectoryProvider::RenewMachinePassword() const
{
    RequireVersion(operations, 4);
    RequireSlot(operations->RenewMachinePassword);
    CheckStatus(handle, operations->RenewMachinePassword());
}

std::map<std::string, std::string> ActiveDirectoryProvider::GetMachineAccountAttributes() const
{
    const auto answer = reinterpret_cast<OrvauthPluginAccountAttributesFunction>(
        dlsym(handle, ORVAUTH_PLUGIN_ACCOUNT_ATTRIBUTES_SYMBOL));
    if (answer == nullptr) {
        throw CallNotImplementedException();
    }
    char** texts = nullptr;
    ActiveDirectoryClientReleaseFunction release = nullptr;
    CheckStatus(handle, answer(&texts, &release));
    PluginResult result(texts, release);
    std::map<std::string, std::string> attributes;
    for (const std::string& text : CopyStringArray<std::vector<std::string>>(texts)) {
        const std::string::size_type equals = text.find('=');
        if (equals != std::string::npos) {
            attributes[text.substr(0, equals)] = text.substr(equals + 1);
        }
    }
    return attributes;
}

}  // namespace authentication
}  // namespace orvane
