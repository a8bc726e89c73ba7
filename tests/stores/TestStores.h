// Stores a test registers next to the built-in ones, and a factory that
// stands in for the library's own while a test runs.
#pragma once

#include <orvane/authentication/Exceptions.h>
#include <orvane/authentication/Stores.h>

#include <memory>

namespace orvauth_test {

using namespace orvane::authentication;

// What happened to the test stores since the last ScopedFactory.
struct StoreEvents {
    int created = 0;
    int destroyed = 0;
    int madeInactive = 0;
};
inline StoreEvents& Events()
{
    static StoreEvents events;
    return events;
}

template <typename Base>
class CountedStore : public Base {
public:
    CountedStore() { ++Events().created; }
    ~CountedStore() override { ++Events().destroyed; }
    StoreConfiguration* GetStoreConfiguration() const override { return new StoreConfiguration(); }
    std::string GetDisplayName() const override { return "test store"; }
    void MakeActive() override {}
};

// Not a remote store at all.
class PlainStore : public CountedStore<AuthenticationStore> {
    bool IsActive() const override { return false; }
};

// A remote store that steps down quietly, or refuses to.
template <bool refuses>
class RemoteStore : public CountedStore<RemoteAuthenticationStore> {
    void MakeInactive() override
    {
        ++Events().madeInactive;
        if (refuses) {
            throw IOError("cannot step down");
        }
    }
};

// A second factory published in _instance for the test's duration, holding
// the built-in stores plus "Plain", "Quiet" and "Stubborn".
struct ScopedFactory {
    ScopedFactory() : loaded(Singleton<AuthenticationStoreFactory>::_instance), factory(new AuthenticationStoreFactory)
    {
        Events() = StoreEvents();
        factory->RegisterType("Plain", Constructor<PlainStore>);
        factory->RegisterType("Quiet", Constructor<RemoteStore<false>>);
        factory->RegisterType("Stubborn", Constructor<RemoteStore<true>>);
    }
    ~ScopedFactory()
    {
        factory.reset();
        Singleton<AuthenticationStoreFactory>::_instance = loaded;
    }

    AuthenticationStoreFactory* loaded;
    std::unique_ptr<AuthenticationStoreFactory> factory;
};

}  // namespace orvauth_test
