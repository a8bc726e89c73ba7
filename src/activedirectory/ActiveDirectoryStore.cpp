// The Active Directory store's lifecycle, activation and the requests it
// forwards straight to the plug-in.
#include <orvane/authentication/ActiveDirectoryProvider.h>
#include <orvane/authentication/ActiveDirectoryStore.h>
#include <orvane/authentication/Configuration.h>
#include <orvane/authentication/Exceptions.h>

#include <boost/make_shared.hpp>
#include <syslog.h>

namespace orvane {
namespace authentication {

namespace {

const char* const DISPLAY_NAME = "Active Directory";
const char* const PROVIDER_KEY = "provider";
const char* const ACTIVE_STORE_KEY = "remote-authentication-store";
constexpr int DEFAULT_TIMEOUT_SECONDS = 60;

// The plug-in named in provider.conf. What the caller needs to hear is
// which provider is unusable, so the reader's and loader's own texts are
// replaced by that name.
std::string ConfiguredProviderName()
{
    std::string name;
    try {
        const ProviderConfiguration configuration;
        name = configuration[PROVIDER_KEY];
    } catch (const IOError&) {
        throw InvalidActiveDirectoryProviderException("(none installed)");
    }
    if (name.empty()) {
        throw InvalidActiveDirectoryProviderException("(unset)");
    }
    return name;
}

boost::shared_ptr<ActiveDirectoryProvider> LoadProvider(const std::string& name)
{
    try {
        return boost::make_shared<ActiveDirectoryProvider>(name);
    } catch (const IOError&) {
        throw InvalidActiveDirectoryProviderException(name);
    }
}

}  // namespace

ActiveDirectoryStoreConfiguration::~ActiveDirectoryStoreConfiguration() = default;

ActiveDirectoryStore::ActiveDirectoryStore(int timeoutSeconds) : timeoutSeconds(timeoutSeconds)
{
    provider = LoadProvider(ConfiguredProviderName());
    cachedConfiguration = boost::make_shared<ActiveDirectoryStoreConfiguration>();
    cachedTrustState = boost::make_shared<TrustState>(0);
    cachedTrustedDomains = boost::make_shared<std::deque<Domain>>();
}

ActiveDirectoryStore::ActiveDirectoryStore() : ActiveDirectoryStore(DEFAULT_TIMEOUT_SECONDS) {}

// Background queries may still hold the caches and the provider; each
// object goes with its last reference, the plug-in last of all.
ActiveDirectoryStore::~ActiveDirectoryStore()
{
    cachedTrustedDomains.reset();
    cachedTrustState.reset();
    cachedConfiguration.reset();
    provider.reset();
}

std::string ActiveDirectoryStore::GetDisplayName() const { return DISPLAY_NAME; }

void ActiveDirectoryStore::MakeActive()
{
    AuthenticationConfiguration configuration;
    configuration[ACTIVE_STORE_KEY] = GetDisplayName();
    configuration.Write();
}

void ActiveDirectoryStore::MakeInactive() {}

void ActiveDirectoryStore::SetPreferredDomainControllers(const std::deque<std::string>& controllers)
{
    try {
        provider->SetPreferredDomainControllers(controllers);
    } catch (const CallNotImplementedException&) {
        syslog(LOG_WARNING, "Setting of preferred domain controllers is not implemented.");
    }
}

std::string ActiveDirectoryStore::GetDomainControllerForDomain(const std::string& domain) const
{
    try {
        return provider->GetAnyDomainController(std::string(), domain);
    } catch (const CallNotImplementedException&) {
        return std::string();
    }
}

std::string ActiveDirectoryStore::GetHostPrincipalForDomain(const std::string& domain) const
{
    try {
        return provider->GetHostPrincipalForDomain(domain);
    } catch (const CallNotImplementedException&) {
        return std::string();
    }
}

std::uint32_t ActiveDirectoryStore::GetDomainTrustRelationship(const std::string& domain) const
{
    try {
        return provider->GetDomainTrustRelationship(domain);
    } catch (const CallNotImplementedException&) {
        return 0;
    }
}

void ActiveDirectoryStore::SetSmartCardEnabledServices(const std::vector<std::string>& services) const
{
    provider->SetSmartCardEnabledServices(services);
}

std::vector<std::string> ActiveDirectoryStore::GetSmartCardEnabledServices() const
{
    return provider->GetSmartCardEnabledServices();
}

std::string ActiveDirectoryStore::ConvertCanonicalUsername(const std::string& name) const
{
    try {
        return provider->ConvertCanonicalUsername(name);
    } catch (const CallNotImplementedException&) {
        return name;
    }
}

}  // namespace authentication
}  // namespace orvane
