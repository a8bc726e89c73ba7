// The local-only store, "None".
#include <orvane/authentication/Configuration.h>
#include <orvane/authentication/Exceptions.h>
#include <orvane/authentication/Stores.h>

#include <stdexcept>

namespace orvane {
namespace authentication {

namespace {

const char* const DISPLAY_NAME = "None";
const char* const ACTIVE_STORE_KEY = "remote-authentication-store";

}  // namespace

NoRemoteAuthenticationStoreConfiguration::~NoRemoteAuthenticationStoreConfiguration() = default;

NoRemoteAuthenticationStore::NoRemoteAuthenticationStore() = default;
NoRemoteAuthenticationStore::~NoRemoteAuthenticationStore() = default;

StoreConfiguration* NoRemoteAuthenticationStore::GetStoreConfiguration() const
{
    return new NoRemoteAuthenticationStoreConfiguration();
}

std::string NoRemoteAuthenticationStore::GetDisplayName() const { return DISPLAY_NAME; }

// The record is rewritten before the previous store is asked to step down,
// so whatever goes wrong while deactivating it, the host is left recorded as
// local-only.
void NoRemoteAuthenticationStore::MakeActive()
{
    AuthenticationConfiguration configuration;
    const std::string previousStore = configuration[ACTIVE_STORE_KEY];
    if (previousStore == GetDisplayName()) {
        return;
    }
    configuration[ACTIVE_STORE_KEY] = GetDisplayName();
    configuration.Write();

    std::unique_ptr<AuthenticationStore> store =
        Singleton<AuthenticationStoreFactory>::_instance->CreateInstance(previousStore);
    if (!store) {
        throw UnknownRemoteAuthenticationStoreException(previousStore);
    }
    RemoteAuthenticationStore* remoteStore = dynamic_cast<RemoteAuthenticationStore*>(store.get());
    if (remoteStore == nullptr) {
        throw InvalidRemoteAuthenticationStoreException(previousStore);
    }
    remoteStore->MakeInactive();
}

void NoRemoteAuthenticationStore::MakeInactive() { throw std::runtime_error("Attempted to disable None Store"); }

}  // namespace authentication
}  // namespace orvane
