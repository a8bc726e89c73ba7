// Authentication stores and the factory that creates them by display name.
// Which store is active is host state kept in authentication.conf, not in
// any store object: every object reads the file anew when asked.
#pragma once

#include <orvane/authentication/Export.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace orvane {
namespace authentication {

// Root of the configuration snapshots stores report; tell them apart by
// run-time type.
class ORVAUTH_API StoreConfiguration {
public:
    virtual ~StoreConfiguration();
};

class ORVAUTH_API AuthenticationStore {
public:
    // A new snapshot of the store's configuration; the caller owns it.
    virtual StoreConfiguration* GetStoreConfiguration() const = 0;
    // The name the store is registered under in the factory.
    virtual std::string GetDisplayName() const = 0;
    virtual bool IsActive() const = 0;
    virtual void MakeActive() = 0;
    virtual ~AuthenticationStore();
};

// A store that can be the host's active remote store.
class ORVAUTH_API RemoteAuthenticationStore : public AuthenticationStore {
public:
    // True when authentication.conf names this store. Throws IOError,
    // ConfigurationError or InvalidKeyException when the record cannot be
    // read; a missing record never means "inactive".
    bool IsActive() const override;
    ~RemoteAuthenticationStore() override;
    virtual void MakeInactive() = 0;
};

// A directory-backed remote store.
class ORVAUTH_API DirectoryStore : public RemoteAuthenticationStore {
public:
    ~DirectoryStore() override;
};

class ORVAUTH_API NoRemoteAuthenticationStoreConfiguration : public StoreConfiguration {
public:
    ~NoRemoteAuthenticationStoreConfiguration() override;
};

// Local users only, registered as "None".
class ORVAUTH_API NoRemoteAuthenticationStore : public RemoteAuthenticationStore {
public:
    NoRemoteAuthenticationStore();
    StoreConfiguration* GetStoreConfiguration() const override;
    std::string GetDisplayName() const override;
    // Records "None" (unless already recorded), then creates the store that
    // was recorded before and makes it inactive.
    void MakeActive() override;
    ~NoRemoteAuthenticationStore() override;
    // Always throws std::runtime_error: the host leaves local-only
    // authentication by activating another store.
    void MakeInactive() override;
};

typedef std::unique_ptr<AuthenticationStore> (*StoreConstructorFunction)();

// The constructor function kept in the factory for a store class.
template <typename Store>
std::unique_ptr<AuthenticationStore> Constructor()
{
    return std::unique_ptr<AuthenticationStore>(new Store());
}

// The single object of a type in the process.
template <typename T>
class Singleton {
public:
    static T* _instance;
};

class ORVAUTH_API AuthenticationStoreFactory {
public:
    // Publishes itself as Singleton<AuthenticationStoreFactory>::_instance
    // and registers "Active Directory" and "None".
    AuthenticationStoreFactory();
    ~AuthenticationStoreFactory();
    AuthenticationStoreFactory(const AuthenticationStoreFactory&) = delete;
    AuthenticationStoreFactory& operator=(const AuthenticationStoreFactory&) = delete;

    // The first registration of a name wins.
    void RegisterType(const std::string& name, StoreConstructorFunction constructor);
    // A new store of the named class, or an empty pointer for a name that is
    // not registered (exact, case-sensitive match).
    std::unique_ptr<AuthenticationStore> CreateInstance(const std::string& name);
    // Every registered name once, in ascending byte order.
    std::vector<std::string> GetRegisteredStores() const;

private:
    std::map<std::string, StoreConstructorFunction> registry;
};

// One definition for the whole process, inside the library.
template <>
ORVAUTH_API AuthenticationStoreFactory* Singleton<AuthenticationStoreFactory>::_instance;

}  // namespace authentication
}  // namespace orvane
