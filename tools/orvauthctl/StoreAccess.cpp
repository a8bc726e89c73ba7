#include "StoreAccess.h"

#include <orvane/authentication/Configuration.h>
#include <orvane/authentication/Exceptions.h>

#include <stdexcept>

namespace orvauthctl {

using namespace orvane::authentication;

const char* const DIRECTORY_STORE = "Active Directory";

AuthenticationStoreFactory& Factory()
{
    AuthenticationStoreFactory* factory = Singleton<AuthenticationStoreFactory>::_instance;
    if (factory == nullptr) {
        throw std::runtime_error("the authentication store factory is not available");
    }
    return *factory;
}

std::unique_ptr<AuthenticationStore> CreateStore(const std::string& name)
{
    std::unique_ptr<AuthenticationStore> store = Factory().CreateInstance(name);
    if (!store) {
        throw UnknownRemoteAuthenticationStoreException(name);
    }
    return store;
}

std::unique_ptr<ActiveDirectoryStore> CreateDirectoryStore()
{
    std::unique_ptr<AuthenticationStore> store = CreateStore(DIRECTORY_STORE);
    auto* directory = dynamic_cast<ActiveDirectoryStore*>(store.get());
    if (directory == nullptr) {
        throw InvalidRemoteAuthenticationStoreException(DIRECTORY_STORE);
    }
    store.release();
    return std::unique_ptr<ActiveDirectoryStore>(directory);
}

std::string RecordedActiveStore()
{
    const AuthenticationConfiguration configuration;
    return configuration["remote-authentication-store"];
}

}  // namespace orvauthctl
