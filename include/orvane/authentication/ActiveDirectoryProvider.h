// The library's door to the Active Directory client plug-in: loads it, checks
// its version, and offers one method per plug-in operation, converting
// arguments and results and mapping non-zero statuses to exceptions.
#pragma once

#include <orvane/authentication/ActiveDirectoryClient.h>
#include <orvane/authentication/Domain.h>
#include <orvane/authentication/Export.h>
#include <orvane/authentication/JORVRecords.h>

#include <cstdint>
#include <deque>
#include <list>
#include <map>
#include <string>
#include <vector>

namespace orvane {
namespace authentication {

class ORVAUTH_API ActiveDirectoryProvider {
public:
    // Loads lib<name>.so from the plug-in directory's lib64/ subdirectory,
    // else from the directory itself. Throws IOError when neither can be
    // opened, InvalidActiveDirectoryProviderException for a plug-in without
    // its records or with an unsupported version, for a name that is not a
    // plain file name, and for a file or directory on the way that is owned
    // by neither root nor this process's user or is writable by others.
    explicit ActiveDirectoryProvider(const std::string& name);
    ~ActiveDirectoryProvider();
    ActiveDirectoryProvider(const ActiveDirectoryProvider&) = delete;
    ActiveDirectoryProvider& operator=(const ActiveDirectoryProvider&) = delete;

    // The PAM and NSS modules the plug-in declares, for callers that
    // configure those files.
    const std::string& PAMModule() const { return pamModule; }
    const std::list<std::string>& PAMModuleParameters() const { return pamModuleParameters; }
    const std::string& NSSModule() const { return nssModule; }
    const std::list<std::string>& NSSModuleParameters() const { return nssModuleParameters; }

    // The operations table's version (not the metadata's); slots beyond it
    // are never read and report CallNotImplementedException.
    int GetAPIVersion() const;

    // Joins, retrying up to 8 calls 30 seconds apart while the plug-in
    // answers 1326 or 0xFFFF0000. A null user name with a password: the
    // preset account's one-time password (ActiveDirectoryClient.h).
    void JoinDomain(const std::string& domain, const std::string& organizationalUnit,
                    const Credentials& credentials) const;
    // As JoinDomain, with an account created by an authentication proxy;
    // logs every attempt.
    void JoinDomainWithMachineAccount(const JORV::DirectoryDomainInfo& domain,
                                      const JORV::MachineAccountInfo& account) const;
    void PartDomain() const;
    void PartDomain(const Credentials& credentials) const;
    Domain GetActiveDomain() const;
    void SetPreferredDomainControllers(const std::deque<std::string>& controllers) const;
    std::deque<std::string> GetPreferredDomainControllers() const;
    TrustState GetDomainTrustState() const;
    std::deque<Domain> GetTrustedDomains() const;
    std::string GetMachineAccountDN() const;
    std::string GetAnyDomainController(const std::string& selector, const std::string& domain) const;
    std::string ConvertCanonicalUsername(const std::string& userName) const;
    std::string GetHostPrincipalForDomain(const std::string& domain) const;
    std::uint32_t GetDomainTrustRelationship(const std::string& domain) const;
    void SetSmartCardEnabledServices(const std::vector<std::string>& services) const;
    std::vector<std::string> GetSmartCardEnabledServices() const;
    // Slot 17 (API version 4): a new machine account password now.
    void RenewMachinePassword() const;
    // The machine account's attributes the plug-in reads for the operator
    // (ORVAUTH_PLUGIN_ACCOUNT_ATTRIBUTES_SYMBOL in PluginStatus.h), by name.
    // Throws CallNotImplementedException when the plug-in exports none.
    std::map<std::string, std::string> GetMachineAccountAttributes() const;

private:
    void CacheMetadata();

    void* handle;
    const ActiveDirectoryClientMetadata* metadata;
    const ActiveDirectoryClientOperations* operations;
    std::string pamModule;
    std::list<std::string> pamModuleParameters;
    std::string nssModule;
    std::list<std::string> nssModuleParameters;
};

}  // namespace authentication
}  // namespace orvane
