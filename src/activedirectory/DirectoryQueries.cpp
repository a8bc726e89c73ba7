// The three directory queries that may hang inside the plug-in. Each runs on
// a detached thread and is waited for at most timeoutSeconds; the caller
// then gets whatever the store's cache holds. At most one thread per kind of
// query runs in the whole process, whichever store started it.
#include "activedirectory/MutexLock.h"

#include <orvane/authentication/ActiveDirectoryProvider.h>
#include <orvane/authentication/ActiveDirectoryStore.h>
#include <orvane/authentication/Exceptions.h>
#include <orvane/authentication/PluginStatus.h>
#include <orvane/authentication/ThreadUtil.h>

#include <boost/make_shared.hpp>
#include <functional>
#include <syslog.h>
#include <utility>

namespace orvane {
namespace authentication {

pthread_mutex_t ActiveDirectoryStore::_lock = PTHREAD_MUTEX_INITIALIZER;
bool ActiveDirectoryStore::_isGetStoreConfigThreadActive = false;
bool ActiveDirectoryStore::_isGetTrustedDomainsThreadActive = false;
bool ActiveDirectoryStore::_isGetTrustStateThreadActive = false;

namespace {

enum class QueryOutcome {
    AlreadyRunning,  // another thread of this kind is running: answer from the cache
    Finished,        // the thread reported success in time
    TimedOut,        // the thread goes on and will refresh the cache later
};

// Starts body on its own thread unless one of its kind is already running,
// then waits for it. The flag is set here and cleared by the thread (or here,
// when no thread could start). lock is never held while starting or waiting.
template <typename Cache>
QueryOutcome RunQuery(pthread_mutex_t& lock, bool& threadActive,
                      void (*body)(boost::shared_ptr<ActiveDirectoryProvider>, boost::shared_ptr<RequestState>,
                                   boost::shared_ptr<Cache>),
                      const boost::shared_ptr<ActiveDirectoryProvider>& provider,
                      const boost::shared_ptr<Cache>& cache, int timeoutSeconds)
{
    {
        MutexLock guard(lock);
        if (threadActive) {
            return QueryOutcome::AlreadyRunning;
        }
        threadActive = true;
    }

    boost::shared_ptr<RequestState> state;
    try {
        state = boost::make_shared<RequestState>();
        OrvauthThreadUtil::ScheduleThread(std::bind(body, provider, state, cache));
    } catch (...) {
        // No thread runs, so nobody else would ever clear the flag.
        MutexLock guard(lock);
        threadActive = false;
        throw;
    }

    try {
        state->WaitResult(timeoutSeconds);
    } catch (const ProviderCallTimedOutException&) {
        return QueryOutcome::TimedOut;
    }
    return QueryOutcome::Finished;
}

// Runs one part of the configuration query; false when the plug-in gave no
// answer (the part's cached value then stays).
template <typename Call>
bool AskPart(Call call)
{
    try {
        call();
    } catch (const FileNotFoundException&) {
    } catch (const CallNotImplementedException&) {
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

// A query thread's body for a one-value cache: the plug-in's answer, or the
// empty value when it lacks the call, replaces the cache. A failure leaves
// the cache as it was and goes to the waiter when it can be carried there.
template <typename Value, typename Ask>
void RefreshCache(pthread_mutex_t& lock, bool& threadActive, Ask ask, RequestState& state, Value& cache)
{
    auto finish = [&](Value* answer, const Exception* failure) {
        {
            MutexLock guard(lock);
            if (answer != nullptr) {
                cache = std::move(*answer);
            }
            threadActive = false;
        }
        state.Done(failure);
    };
    Value answer{};
    try {
        answer = ask();
    } catch (const CallNotImplementedException&) {
    } catch (const Exception& error) {
        return finish(nullptr, &error);
    } catch (...) {
        return finish(nullptr, nullptr);  // not carriable to the waiter
    }
    finish(&answer, nullptr);
}

}  // namespace

StoreConfiguration* ActiveDirectoryStore::GetStoreConfiguration() const
{
    if (RunQuery(_lock, _isGetStoreConfigThreadActive, &GetStoreConfigurationInt, provider, cachedConfiguration,
                 timeoutSeconds) == QueryOutcome::TimedOut) {
        syslog(LOG_WARNING, "GetStoreConfiguration call timedout. Returning cached value.");
    }

    ActiveDirectoryStoreConfiguration* snapshot = new ActiveDirectoryStoreConfiguration();
    try {
        MutexLock guard(_lock);
        snapshot->activeDomain = cachedConfiguration->activeDomain;
        snapshot->preferredDomainControllers = cachedConfiguration->preferredDomainControllers;
        snapshot->machineAccountDN = cachedConfiguration->machineAccountDN;
    } catch (...) {
        delete snapshot;
        throw;
    }
    return snapshot;
}

std::deque<Domain> ActiveDirectoryStore::GetTrustedDomains() const
{
    if (RunQuery(_lock, _isGetTrustedDomainsThreadActive, &GetTrustedDomainsInt, provider, cachedTrustedDomains,
                 timeoutSeconds) == QueryOutcome::TimedOut) {
        syslog(LOG_WARNING, "GetTrustedDomains call timedout. Returning cached value.");
    }

    MutexLock guard(_lock);
    return *cachedTrustedDomains;
}

TrustState ActiveDirectoryStore::GetDomainTrustState() const
{
    // Without a reachable domain there is no trust to ask about; the trusted
    // domains also warm their own cache on the way.
    try {
        GetTrustedDomains();
    } catch (const FileNotFoundException&) {
        MutexLock guard(_lock);
        *cachedTrustState = ORVAUTH_TRUST_NO_DOMAIN;
        return ORVAUTH_TRUST_NO_DOMAIN;
    } catch (const Exception& error) {
        syslog(LOG_WARNING, "GetDomainTrustState: Call to GetTrustedDomains() failed: %s", error.what());
    }

    if (RunQuery(_lock, _isGetTrustStateThreadActive, &GetDomainTrustStateInt, provider, cachedTrustState,
                 timeoutSeconds) == QueryOutcome::TimedOut) {
        syslog(LOG_WARNING, "GetDomainTrustState call timedout. Returning cached value.");
        MutexLock guard(_lock);
        *cachedTrustState = ORVAUTH_TRUST_NO_ANSWER_IN_TIME;
    }

    MutexLock guard(_lock);
    return *cachedTrustState;
}

// The thread bodies below clear their flag and fill the cache before Done,
// so a waiter that wakes up reads the fresh value; they release _lock before
// Done because the two locks are never held together.

void ActiveDirectoryStore::GetStoreConfigurationInt(boost::shared_ptr<ActiveDirectoryProvider> provider,
                                                    boost::shared_ptr<RequestState> state,
                                                    boost::shared_ptr<ActiveDirectoryStoreConfiguration> cache)
{
    // Each part is worth having on its own: a plug-in that cannot name its
    // machine account may still know its domain. A part the plug-in could
    // not answer keeps its cached value: a dead controller must not turn a
    // good answer into an empty one. "Not joined" and a missing operation
    // are answers, and empty the right value for them.
    Domain activeDomain;
    std::deque<std::string> preferredDomainControllers;
    std::string machineAccountDN;
    const bool domainAnswered = AskPart([&] { activeDomain = provider->GetActiveDomain(); });
    const bool controllersAnswered =
        AskPart([&] { preferredDomainControllers = provider->GetPreferredDomainControllers(); });
    // A host that is not joined has no machine account, whatever else failed.
    const bool notJoined = domainAnswered && activeDomain.dnsName.empty() && activeDomain.netbiosName.empty();
    const bool accountAnswered =
        AskPart([&] { machineAccountDN = provider->GetMachineAccountDN(); }) || notJoined;

    {
        MutexLock guard(_lock);
        _isGetStoreConfigThreadActive = false;
        if (domainAnswered) {
            cache->activeDomain = std::move(activeDomain);
        }
        if (controllersAnswered) {
            cache->preferredDomainControllers = std::move(preferredDomainControllers);
        }
        if (accountAnswered) {
            cache->machineAccountDN = std::move(machineAccountDN);
        }
    }
    state->Done(nullptr);
}

void ActiveDirectoryStore::GetTrustedDomainsInt(boost::shared_ptr<ActiveDirectoryProvider> provider,
                                                boost::shared_ptr<RequestState> state,
                                                boost::shared_ptr<std::deque<Domain>> cache)
{
    // A plug-in without trusts: an empty list is the true answer.
    RefreshCache(_lock, _isGetTrustedDomainsThreadActive, [&] { return provider->GetTrustedDomains(); }, *state, *cache);
}

void ActiveDirectoryStore::GetDomainTrustStateInt(boost::shared_ptr<ActiveDirectoryProvider> provider,
                                                  boost::shared_ptr<RequestState> state,
                                                  boost::shared_ptr<TrustState> cache)
{
    RefreshCache(_lock, _isGetTrustStateThreadActive, [&] { return provider->GetDomainTrustState(); }, *state, *cache);
}

}  // namespace authentication
}  // namespace orvane
