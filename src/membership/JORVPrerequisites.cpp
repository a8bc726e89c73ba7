#include "membership/JORVPrerequisites.h"

#include <orvane/authentication/Configuration.h>
#include <orvane/authentication/Exceptions.h>

#include <platform/Ipv4Address.h>

namespace orvane {
namespace authentication {

void RequireIpv4ServerAddress(const std::string& serverAddress)
{
    if (!NodeCtl::Network::Ipv4Address::IsValidAddress(serverAddress)) {
        throw InvalidIPAddressException("IPv4 address '" + serverAddress + "' cannot be parsed as an IP address");
    }
}

std::string ReadJORVProviderName()
{
    std::unique_ptr<const JORVProviderConfiguration> configuration;
    try {
        configuration.reset(new JORVProviderConfiguration());
    } catch (const IOError&) {
        throw InvalidJORVProxyProviderException("(none installed)");
    }
    const std::string& name = (*configuration)["provider"];
    if (name.empty()) {
        throw InvalidJORVProxyProviderException("(unset)");
    }
    return name;
}

std::unique_ptr<JORVProxy> OpenJORVProxy(const std::string& providerName, const std::string& serverAddress,
                                         bool verifyCertificate, const std::string& thumbprint)
{
    try {
        return std::unique_ptr<JORVProxy>(new JORVProxy(providerName, serverAddress, verifyCertificate, thumbprint));
    } catch (const IOError&) {
        throw InvalidJORVProxyProviderException(providerName);
    }
}

}  // namespace authentication
}  // namespace orvane
