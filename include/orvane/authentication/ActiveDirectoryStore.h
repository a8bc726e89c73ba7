// The Active Directory store: activation, the directory queries answered on
// background threads with a cached fallback, forwarding of the simple
// directory requests, and domain membership (join and leave, with
// credentials or through an authentication proxy).
#pragma once

#include <orvane/authentication/ActiveDirectoryClient.h>
#include <orvane/authentication/Domain.h>
#include <orvane/authentication/Export.h>
#include <orvane/authentication/Stores.h>

#include <boost/shared_ptr.hpp>
#include <cstdint>
#include <deque>
#include <pthread.h>
#include <string>
#include <vector>

namespace orvane {
namespace authentication {

class ActiveDirectoryProvider;
class RequestState;

class ORVAUTH_API ActiveDirectoryStoreConfiguration : public StoreConfiguration {
public:
    ~ActiveDirectoryStoreConfiguration() override;

    Domain activeDomain;  // both names empty when the plug-in reported none
    std::deque<std::string> preferredDomainControllers;
    std::string machineAccountDN;  // empty when the plug-in reported none
};

class ORVAUTH_API ActiveDirectoryStore : public DirectoryStore {
public:
    // Loads the directory client named in provider.conf. Throws
    // InvalidActiveDirectoryProviderException when none is usable.
    explicit ActiveDirectoryStore(int timeoutSeconds);
    ActiveDirectoryStore();  // the factory's store: 60-second time-out

    // --- store operations ---------------------------------------------------
    // The joined domain, preferred controllers and machine account; waits
    // at most the time-out, then answers from the cache.
    StoreConfiguration* GetStoreConfiguration() const override;
    std::string GetDisplayName() const override;  // "Active Directory"
    void MakeActive() override;
    ~ActiveDirectoryStore() override;
    void MakeInactive() override;  // does nothing

    // --- queries with time-out and cache --------------------------------------
    std::deque<Domain> GetTrustedDomains() const;
    TrustState GetDomainTrustState() const;

    // --- forwarded requests ---------------------------------------------------
    void SetPreferredDomainControllers(const std::deque<std::string>& controllers);
    std::string GetDomainControllerForDomain(const std::string& domain) const;
    std::string GetHostPrincipalForDomain(const std::string& domain) const;
    std::uint32_t GetDomainTrustRelationship(const std::string& domain) const;
    void SetSmartCardEnabledServices(const std::vector<std::string>& services) const;
    std::vector<std::string> GetSmartCardEnabledServices() const;
    std::string ConvertCanonicalUsername(const std::string& name) const;

    // --- membership -------------------------------------------------------------
    // Checks the host's own name against domain and prepares the hosts file
    // and DNS search list for a join. Throws InvalidHostNameException.
    void SanitiseHostnameForDomain(const std::string& domain) const;
    // domainArgument is "domain" or "domain/organizational unit".
    void JoinDomain(const std::string& domainArgument, const Credentials& credentials, bool skipHostNameCheck);
    // As JoinDomain, with the computer account an administrator made for this
    // host beforehand (adcli preset-computer --one-time-password) and that
    // password: the account is reused where it is. InvalidCredentialsException
    // for a null or empty password.
    void JoinDomainWithOneTimePassword(const std::string& domainArgument, const char* oneTimePassword,
                                       bool skipHostNameCheck);
    void PartDomain();
    void PartDomain(const Credentials& credentials);

    // --- membership through an authentication proxy -----------------------------
    void JoinDomainWithJORV(const std::string& serverAddress, const std::string& organizationalUnit,
                            bool skipHostNameCheck);
    // Trusts the PEM certificate for every proxy (host configuration store).
    void ImportCertificateForJORV(const std::string& certificate);
    // Trusts the PEM certificate in certificatePath for the proxy at
    // serverAddress.
    void ImportCertificateForJORV(const std::string& certificatePath, const std::string& serverAddress);
    std::string GetDomainForJORVService(const std::string& serverAddress);

    // The loaded plug-in wrapper, shared with background queries.
    const boost::shared_ptr<ActiveDirectoryProvider>& Provider() const { return provider; }

    // Thread bodies of the three queries; each holds its own references.
    static void GetStoreConfigurationInt(boost::shared_ptr<ActiveDirectoryProvider> provider,
                                         boost::shared_ptr<RequestState> state,
                                         boost::shared_ptr<ActiveDirectoryStoreConfiguration> cache);
    static void GetTrustedDomainsInt(boost::shared_ptr<ActiveDirectoryProvider> provider,
                                     boost::shared_ptr<RequestState> state,
                                     boost::shared_ptr<std::deque<Domain>> cache);
    static void GetDomainTrustStateInt(boost::shared_ptr<ActiveDirectoryProvider> provider,
                                       boost::shared_ptr<RequestState> state, boost::shared_ptr<TrustState> cache);

private:
    int timeoutSeconds;
    boost::shared_ptr<ActiveDirectoryProvider> provider;
    boost::shared_ptr<ActiveDirectoryStoreConfiguration> cachedConfiguration;
    boost::shared_ptr<TrustState> cachedTrustState;
    boost::shared_ptr<std::deque<Domain>> cachedTrustedDomains;

    // Guards the flags below and the contents of every store's caches;
    // never held across a plug-in call or a wait.
    static pthread_mutex_t _lock;
    static bool _isGetStoreConfigThreadActive;
    static bool _isGetTrustedDomainsThreadActive;
    static bool _isGetTrustStateThreadActive;
};

}  // namespace authentication
}  // namespace orvane
