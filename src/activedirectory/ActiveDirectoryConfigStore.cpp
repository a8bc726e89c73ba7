#include <orvane/authentication/ActiveDirectoryConfigStore.h>

#include <orvane/authentication/Exceptions.h>

#include <platform/FeatureList.h>

namespace orvane {
namespace authentication {

namespace {

// The two switches that together say the host configuration store keeps
// the domain membership.
constexpr unsigned CONFIG_STORE_FEATURE = 1;

bool IsFeatureOn(unsigned index)
{
    const unsigned char* feature = FeatureList[index];
    return feature != nullptr && *feature != 0;
}

}  // namespace

const QelConfigStore::ConfigStoreObjectId ActiveDirectoryConfigStore::AD_CSO_ID(
    ActiveDirectoryConfigStore::AD_CONFIG_KEY, ActiveDirectoryConfigStore::AD_CONFIG_GROUP,
    ActiveDirectoryConfigStore::AD_CONFIG_COMPONENT);

const QelConfigStore::ConfigStoreObjectId ActiveDirectoryConfigStore::AUTH_PROXY_CERT_CSO_ID(
    ActiveDirectoryConfigStore::AUTH_PROXY_CONFIG_KEY, ActiveDirectoryConfigStore::AD_CONFIG_GROUP,
    ActiveDirectoryConfigStore::AD_CONFIG_COMPONENT);

ActiveDirectoryConfigStore::ActiveDirectoryConfigStore()
    : store(QelConfigStore::ConfigStore::GetStore(QelConfigStore::sGlobalNamespace))
{
}

ActiveDirectoryConfigStore::~ActiveDirectoryConfigStore() = default;

bool ActiveDirectoryConfigStore::IsConfigStoreEnabled()
{
    return IsFeatureOn(CONFIG_STORE_FEATURE) && IsFeatureOn(ActiveDirectoryConfigStore::DOMAIN_RECORD_FEATURE);
}

void ActiveDirectoryConfigStore::StoreDomainInfo(const std::string& domainName,
                                                 const std::string& organizationalUnit,
                                                 const std::string& authProxyAddress)
{
    // Always a complete new object, so a value left over from an earlier
    // join (an old organizational unit) cannot survive.
    std::shared_ptr<QelConfigStore::ConfigStoreObject> object =
        std::make_shared<QelConfigStore::ConfigStoreObject>(AD_CSO_ID);
    object->SetValue(DOMAIN_NAME_KEY, domainName);
    object->SetValue(AUTH_PROXY_ADDR_KEY, authProxyAddress);
    if (!organizationalUnit.empty()) {
        object->SetValue(ORG_UNIT_KEY, organizationalUnit);
    }
    int flags = 0;
    store->SetObject(object, flags);
}

void ActiveDirectoryConfigStore::StoreAuthProxyCertInfo(const std::string& thumbprint,
                                                        const std::string& certificate)
{
    std::shared_ptr<QelConfigStore::ConfigStoreObject> object =
        std::make_shared<QelConfigStore::ConfigStoreObject>(AUTH_PROXY_CERT_CSO_ID);
    object->SetValue(AUTH_PROXY_THUMBPRINT_KEY, thumbprint);
    object->SetValue(AUTH_PROXY_CERT_KEY, certificate);
    int flags = 0;
    store->SetObject(object, flags);
}

void ActiveDirectoryConfigStore::RemoveDomainInfo()
{
    if (store->GetObject(AD_CSO_ID)) {
        store->RemoveObject(AD_CSO_ID);
    }
}

std::string ActiveDirectoryConfigStore::GetStringValue(const QelConfigStore::ConfigStoreObjectId& id,
                                                       const std::string& key) const
{
    std::string value;
    std::shared_ptr<QelConfigStore::ConfigStoreObject> object = store->GetObject(id);
    if (!object) {
        throw ConfigurationError("Failed to get the requested object");
    }
    object->GetValue(key.c_str(), &value);
    return value;
}

std::string ActiveDirectoryConfigStore::GetDomainName() const { return GetStringValue(AD_CSO_ID, DOMAIN_NAME_KEY); }

std::string ActiveDirectoryConfigStore::GetOrganizationalUnit() const
{
    return GetStringValue(AD_CSO_ID, ORG_UNIT_KEY);
}

std::string ActiveDirectoryConfigStore::GetAuthProxyAddr() const
{
    return GetStringValue(AD_CSO_ID, AUTH_PROXY_ADDR_KEY);
}

std::string ActiveDirectoryConfigStore::GetThumbprint() const
{
    return GetStringValue(AUTH_PROXY_CERT_CSO_ID, AUTH_PROXY_THUMBPRINT_KEY);
}

std::string ActiveDirectoryConfigStore::GetCertificate() const
{
    return GetStringValue(AUTH_PROXY_CERT_CSO_ID, AUTH_PROXY_CERT_KEY);
}

}  // namespace authentication
}  // namespace orvane
