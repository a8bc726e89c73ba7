// The directory's part of status: the three questions asked at once with
// one deadline, and the last complete answers standing in for those no
// domain controller gave.
#include "status/StatusCache.h"

#include <orvane/authentication/ActiveDirectoryProvider.h>
#include <orvane/authentication/PluginStatus.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <strings.h>
#include <system_error>
#include <thread>

namespace orvane::host {
namespace {

using namespace orvane::authentication;

ActiveDirectoryStoreConfiguration ReadStoreConfiguration(const ActiveDirectoryStore& store)
{
    std::unique_ptr<StoreConfiguration> snapshot(store.GetStoreConfiguration());
    auto* configuration = dynamic_cast<ActiveDirectoryStoreConfiguration*>(snapshot.get());
    if (configuration == nullptr) {
        throw std::runtime_error("the directory store returned a configuration of another store");
    }
    return *configuration;
}

// What the question threads hand back; shared with them, as they may
// outlive the wait for them.
struct PendingAnswers {
    std::mutex lock;
    std::condition_variable changed;
    bool configurationDone = false;
    bool trustedDomainsDone = false;
    bool trustStateDone = false;
    Outcome<ActiveDirectoryStoreConfiguration> configuration;
    std::map<std::string, std::string> accountAttributes;
    Outcome<std::deque<Domain>> trustedDomains;
    Outcome<TrustState> trustState;
};

// Runs body on a thread of its own, or here when no thread can be started.
void RunAside(const std::function<void()>& body)
{
    try {
        std::thread(body).detach();
    } catch (const std::system_error&) {
        body();
    }
}

// The trust states that say no domain controller answered.
bool ControllerSilent(TrustState state)
{
    return state == ORVAUTH_TRUST_NO_ANSWER_IN_TIME || state == ORVAUTH_TRUST_UNREACHABLE;
}

// A membership the directory answered about in full: worth keeping.
bool IsCompleteAnswer(const DirectoryStatus& status)
{
    if (!status.configuration.ok || !status.trustedDomains.ok || !status.trustState.ok) {
        return false;
    }
    const TrustState state = status.trustState.value;
    return !status.configuration.value.activeDomain.dnsName.empty() &&
           !status.configuration.value.machineAccountDN.empty() && !ControllerSilent(state) &&
           state != ORVAUTH_TRUST_NOT_JOINED && state != ORVAUTH_TRUST_NO_DOMAIN &&
           state != ORVAUTH_TRUST_OTHER_FAILURE;
}

// With no controller answering, every item without a live answer shows the
// last complete one, if that was about the membership the host has now.
void FillFromCache(DirectoryStatus& status, bool configurationBack, const CachedDirectoryAnswers& cached)
{
    auto& configuration = status.configuration;
    // A configuration query that timed out returns the library's empty
    // cache: with the controllers silent, no domain means no answer.
    const Domain& liveDomain = configuration.value.activeDomain;
    const bool domainKnown = configurationBack && !(liveDomain.dnsName.empty() && liveDomain.netbiosName.empty());
    if (domainKnown &&
        strcasecmp(liveDomain.dnsName.c_str(), cached.configuration.activeDomain.dnsName.c_str()) != 0) {
        return;  // another domain: the kept answers are about a membership gone
    }
    if (!domainKnown) {
        configuration = {true, cached.configuration, ""};
        status.cachedItems.push_back("configuration");
    } else if (configuration.value.machineAccountDN.empty() && !cached.configuration.machineAccountDN.empty()) {
        configuration.value.machineAccountDN = cached.configuration.machineAccountDN;
        status.cachedItems.push_back("machine_account");
    }
    if (!status.trustedDomains.ok || (status.trustedDomains.value.empty() && !cached.trustedDomains.empty())) {
        status.trustedDomains = {true, cached.trustedDomains, ""};
        status.cachedItems.push_back("trusted_domains");
    }
    status.trustState = {true, cached.trustState, ""};
    status.cachedItems.push_back("trust_state");
    if (status.accountAttributes.empty() && !cached.accountAttributes.empty()) {
        status.accountAttributes = cached.accountAttributes;
        status.cachedItems.push_back("account_attributes");
    }
    status.cachedSince = cached.obtained;
}

// What the plug-in says without the directory: its modules, and the host's
// principal in the joined domain.
void AddLocalRecords(DirectoryStatus& status, const ActiveDirectoryStore& store)
{
    const ActiveDirectoryProvider& provider = *store.Provider();
    status.pamModule = {provider.PAMModule(), provider.PAMModuleParameters()};
    status.nssModule = {provider.NSSModule(), provider.NSSModuleParameters()};
    const std::string& domain = status.configuration.value.activeDomain.dnsName;
    if (status.configuration.ok && !domain.empty()) {
        status.hostPrincipal = Attempt<std::string>([&] { return store.GetHostPrincipalForDomain(domain); }).value;
    }
}

}  // namespace

DirectoryStatus KeptDirectoryStatus(const std::shared_ptr<const ActiveDirectoryStore>& store,
                                    const std::string& cachePath)
{
    DirectoryStatus status;
    const ActiveDirectoryProvider& provider = *store->Provider();
    status.configuration = Attempt<ActiveDirectoryStoreConfiguration>([&] {
        ActiveDirectoryStoreConfiguration local;
        local.activeDomain = provider.GetActiveDomain();
        local.preferredDomainControllers = provider.GetPreferredDomainControllers();
        return local;
    });
    status.trustedDomains = {false, {}, "no domain controller answered"};
    status.trustState = {true, ORVAUTH_TRUST_UNREACHABLE, ""};
    CachedDirectoryAnswers cached;
    if (LoadDirectoryAnswers(cachePath, cached)) {
        FillFromCache(status, status.configuration.ok, cached);
    }
    AddLocalRecords(status, *store);
    return status;
}

DirectoryStatus GatherDirectoryStatus(const std::shared_ptr<const ActiveDirectoryStore>& store, int timeoutSeconds,
                                      const std::string& cachePath)
{
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds) + std::chrono::milliseconds(500);
    auto pending = std::make_shared<PendingAnswers>();
    RunAside([store, pending] {
        auto configuration = Attempt<ActiveDirectoryStoreConfiguration>([&] { return ReadStoreConfiguration(*store); });
        using Attributes = std::map<std::string, std::string>;
        auto attributes = Attempt<Attributes>([&] { return store->Provider()->GetMachineAccountAttributes(); });
        std::lock_guard<std::mutex> guard(pending->lock);
        pending->configuration = std::move(configuration);
        pending->accountAttributes = std::move(attributes.value);
        pending->configurationDone = true;
        pending->changed.notify_all();
    });
    // The trust state asks for the trusted domains first in any case; asked
    // in this order it finds them under way and does not wait twice.
    RunAside([store, pending] {
        auto trustedDomains = Attempt<std::deque<Domain>>([&] { return store->GetTrustedDomains(); });
        {
            std::lock_guard<std::mutex> guard(pending->lock);
            pending->trustedDomains = std::move(trustedDomains);
            pending->trustedDomainsDone = true;
        }
        auto trustState = Attempt<TrustState>([&] { return store->GetDomainTrustState(); });
        std::lock_guard<std::mutex> guard(pending->lock);
        pending->trustState = std::move(trustState);
        pending->trustStateDone = true;
        pending->changed.notify_all();
    });

    DirectoryStatus status;
    const std::string noAnswer = "no answer within " + std::to_string(timeoutSeconds) + " seconds";
    bool configurationBack = false;
    {
        std::unique_lock<std::mutex> guard(pending->lock);
        pending->changed.wait_until(guard, deadline,
                                    [&] { return pending->configurationDone && pending->trustStateDone; });
        configurationBack = pending->configurationDone;
        status.accountAttributes = pending->accountAttributes;
        status.configuration = configurationBack ? pending->configuration
                                                 : Outcome<ActiveDirectoryStoreConfiguration>{false, {}, noAnswer};
        status.trustedDomains =
            pending->trustedDomainsDone ? pending->trustedDomains : Outcome<std::deque<Domain>>{false, {}, noAnswer};
        status.trustState = pending->trustStateDone ? pending->trustState
                                                    : Outcome<TrustState>{true, ORVAUTH_TRUST_NO_ANSWER_IN_TIME, ""};
    }
    CachedDirectoryAnswers cached;
    if (!configurationBack || (status.trustState.ok && ControllerSilent(status.trustState.value))) {
        if (LoadDirectoryAnswers(cachePath, cached)) {
            FillFromCache(status, configurationBack, cached);
        }
    } else if (IsCompleteAnswer(status)) {
        cached = {UtcNow(), status.configuration.value, status.trustedDomains.value, status.trustState.value,
                  status.accountAttributes};
        SaveDirectoryAnswers(cachePath, cached);
    }
    AddLocalRecords(status, *store);  // also for a domain known from the kept answers
    return status;
}

}  // namespace orvane::host
