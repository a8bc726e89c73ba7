// The abstract stores and the active-store record they all share.
#include <orvane/authentication/Configuration.h>
#include <orvane/authentication/Stores.h>

namespace orvane {
namespace authentication {

StoreConfiguration::~StoreConfiguration() = default;

AuthenticationStore::~AuthenticationStore() = default;

RemoteAuthenticationStore::~RemoteAuthenticationStore() = default;

bool RemoteAuthenticationStore::IsActive() const
{
    const AuthenticationConfiguration configuration;
    const std::string displayName = GetDisplayName();
    return configuration.ActiveStore() == displayName;
}

DirectoryStore::~DirectoryStore() = default;

}  // namespace authentication
}  // namespace orvane
