// Stores a test registers next to the built-in ones, in a factory that
// stands in for the library's own while a test runs.
#pragma once

#include <orvane/authentication/Exceptions.h>
#include <orvane/authentication/Stores.h>

#include <memory>

namespace orvauth_test {

using namespace orvane::authentication;

struct StoreEvents {
    int created = 0, destroyed = 0, madeInactive = 0;
};
inline StoreEvents events;

template <typename Base>
struct CountedStore : Base {
    CountedStore() { ++events.created; }
    ~CountedStore() override { ++events.destroyed; }
    StoreConfiguration* GetStoreConfiguration() const override { return new StoreConfiguration(); }
    std::string GetDisplayName() const override { return "test store"; }
    void MakeActive() override {}
};

struct PlainStore : CountedStore<AuthenticationStore> {  // not a remote store at all
    bool IsActive() const override { return false; }
};

template <bool refuses>
struct RemoteStore : CountedStore<RemoteAuthenticationStore> {  // steps down quietly, or refuses to
    void MakeInactive() override
    {
        ++events.madeInactive;
        if (refuses) {
            throw IOError("cannot step down");
        }
    }
};

// The built-in stores plus "Plain", "Quiet" and "Stubborn", published in
// _instance for the object's lifetime.
struct ScopedFactory {
    ScopedFactory()
    {
        events = StoreEvents();
        factory->RegisterType("Plain", Constructor<PlainStore>);
        factory->RegisterType("Quiet", Constructor<RemoteStore<false>>);
        factory->RegisterType("Stubborn", Constructor<RemoteStore<true>>);
    }
    ~ScopedFactory()
    {
        factory.reset();
        Singleton<AuthenticationStoreFactory>::_instance = loaded;
    }

    AuthenticationStoreFactory* loaded = Singleton<AuthenticationStoreFactory>::_instance;
    std::unique_ptr<AuthenticationStoreFactory> factory{new AuthenticationStoreFactory};
};

}  // namespace orvauth_test
