// Stores a test registers next to the built-in ones, and a factory that
// stands in for the library's own while a test runs.
#pragma once

#include <orvane/authentication/Exceptions.h>
#include <orvane/authentication/Stores.h>

#include <memory>

namespace orvauth_test {

using orvane::authentication::AuthenticationStore;
using orvane::authentication::AuthenticationStoreFactory;
using orvane::authentication::Constructor;
using orvane::authentication::RemoteAuthenticationStore;
using orvane::authentication::Singleton;
using orvane::authentication::StoreConfiguration;

// Counts what happened to the test stores.
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

// A store that is not a remote store at all.
class PlainStore : public AuthenticationStore {
public:
    PlainStore() { ++Events().created; }
    ~PlainStore() override { ++Events().destroyed; }
    StoreConfiguration* GetStoreConfiguration() const override { return new StoreConfiguration(); }
    std::string GetDisplayName() const override { return "Plain"; }
    bool IsActive() const override { return false; }
    void MakeActive() override {}
};

// A remote store that refuses to step down.
class StubbornStore : public RemoteAuthenticationStore {
public:
    StubbornStore() { ++Events().created; }
    ~StubbornStore() override { ++Events().destroyed; }
    StoreConfiguration* GetStoreConfiguration() const override { return new StoreConfiguration(); }
    std::string GetDisplayName() const override { return "Stubborn"; }
    void MakeActive() override {}
    void MakeInactive() override
    {
        ++Events().madeInactive;
        throw orvane::authentication::IOError("cannot step down");
    }
};

// A remote store that steps down quietly.
class QuietStore : public RemoteAuthenticationStore {
public:
    QuietStore() { ++Events().created; }
    ~QuietStore() override { ++Events().destroyed; }
    StoreConfiguration* GetStoreConfiguration() const override { return new StoreConfiguration(); }
    std::string GetDisplayName() const override { return "Quiet"; }
    void MakeActive() override {}
    void MakeInactive() override { ++Events().madeInactive; }
};

// A second factory published in _instance for the test's duration, holding
// the built-in stores and whatever the test registers; the library's own
// factory is published again afterwards.
struct ScopedFactory {
    ScopedFactory() : loaded(Singleton<AuthenticationStoreFactory>::_instance), factory(new AuthenticationStoreFactory)
    {
        Events() = StoreEvents();
        factory->RegisterType("Plain", Constructor<PlainStore>);
        factory->RegisterType("Stubborn", Constructor<StubbornStore>);
        factory->RegisterType("Quiet", Constructor<QuietStore>);
    }
    ~ScopedFactory()
    {
        factory.reset();
        Singleton<AuthenticationStoreFactory>::_instance = loaded;
    }
    ScopedFactory(const ScopedFactory&) = delete;
    ScopedFactory& operator=(const ScopedFactory&) = delete;

    AuthenticationStoreFactory* loaded;
    std::unique_ptr<AuthenticationStoreFactory> factory;
};

}  // namespace orvauth_test
