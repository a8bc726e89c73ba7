// The factory of stores by display name, and the one instance the library
// creates while it is loaded.
#include <orvane/authentication/ActiveDirectoryStore.h>
#include <orvane/authentication/Stores.h>

namespace orvane {
namespace authentication {

template <>
AuthenticationStoreFactory* Singleton<AuthenticationStoreFactory>::_instance = nullptr;

AuthenticationStoreFactory::AuthenticationStoreFactory()
{
    Singleton<AuthenticationStoreFactory>::_instance = this;
    try {
        RegisterType("Active Directory", Constructor<ActiveDirectoryStore>);
        RegisterType("None", Constructor<NoRemoteAuthenticationStore>);
    } catch (...) {
        registry.clear();
        Singleton<AuthenticationStoreFactory>::_instance = nullptr;
        throw;
    }
}

AuthenticationStoreFactory::~AuthenticationStoreFactory()
{
    registry.clear();
    Singleton<AuthenticationStoreFactory>::_instance = nullptr;
}

void AuthenticationStoreFactory::RegisterType(const std::string& name, StoreConstructorFunction constructor)
{
    registry.emplace(name, constructor);
}

std::unique_ptr<AuthenticationStore> AuthenticationStoreFactory::CreateInstance(const std::string& name)
{
    const auto entry = registry.find(name);
    if (entry == registry.end()) {
        return std::unique_ptr<AuthenticationStore>();
    }
    return entry->second();
}

std::vector<std::string> AuthenticationStoreFactory::GetRegisteredStores() const
{
    std::vector<std::string> names;
    names.reserve(registry.size());
    for (const auto& entry : registry) {
        names.push_back(entry.first);
    }
    return names;
}

namespace {

// Lives from library load to unload; publishes itself in _instance.
AuthenticationStoreFactory theFactory;

}  // namespace

}  // namespace authentication
}  // namespace orvane
