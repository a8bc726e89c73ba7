// The host's domain membership and the trusted authentication-proxy
// certificate, as kept in the host configuration store. Used only when the
// host's feature list enables that store (IsConfigStoreEnabled).
#pragma once

#include <orvane/authentication/Export.h>

#include <platform/QelConfigStore.h>

#include <memory>
#include <string>

namespace orvane {
namespace authentication {

class ORVAUTH_API ActiveDirectoryConfigStore {
public:
    static constexpr const char* AD_CONFIG_COMPONENT = "qel";
    static constexpr const char* AD_CONFIG_GROUP = "identity";
    static constexpr const char* AD_CONFIG_KEY = "active_directory";
    static constexpr const char* AUTH_PROXY_CONFIG_KEY = "auth_proxy_certificate";
    static constexpr const char* DOMAIN_NAME_KEY = "domain_name";
    static constexpr const char* ORG_UNIT_KEY = "organizational_unit";
    static constexpr const char* AUTH_PROXY_ADDR_KEY = "auth_proxy_address";
    static constexpr const char* AUTH_PROXY_CERT_KEY = "certificate";
    static constexpr const char* AUTH_PROXY_THUMBPRINT_KEY = "thumbprint";

    // The domain record and the proxy certificate record.
    static const QelConfigStore::ConfigStoreObjectId AD_CSO_ID;
    static const QelConfigStore::ConfigStoreObjectId AUTH_PROXY_CERT_CSO_ID;

    // Opens the host-wide store; its ConfigStoreException reaches the caller.
    ActiveDirectoryConfigStore();
    ~ActiveDirectoryConfigStore();

    // True when feature switches 1 and 57 are both on. Touches no store.
    static bool IsConfigStoreEnabled();
    // The switch that a host turns off to keep membership out of the store.
    static constexpr unsigned DOMAIN_RECORD_FEATURE = 57;

    // Each write replaces the whole record. An empty organizational unit is
    // left out of the record; the proxy address is always written, also empty.
    void StoreDomainInfo(const std::string& domainName, const std::string& organizationalUnit,
                         const std::string& authProxyAddress);
    void StoreAuthProxyCertInfo(const std::string& thumbprint, const std::string& certificate);
    // Removes the domain record if there is one; the certificate record stays.
    void RemoveDomainInfo();

    // One value of one record: empty when the record lacks the value,
    // ConfigurationError "Failed to get the requested object" when the
    // record itself is missing.
    std::string GetStringValue(const QelConfigStore::ConfigStoreObjectId& id, const std::string& key) const;
    std::string GetDomainName() const;
    std::string GetOrganizationalUnit() const;
    std::string GetAuthProxyAddr() const;
    std::string GetThumbprint() const;
    std::string GetCertificate() const;

private:
    std::shared_ptr<QelConfigStore::ConfigStore> store;
};

}  // namespace authentication
}  // namespace orvane
