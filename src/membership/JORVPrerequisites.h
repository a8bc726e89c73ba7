// The checks and look-ups that every operation through an authentication
// proxy starts with, with the conversions of lower-layer failures that those
// operations share.
#pragma once

#include <orvane/authentication/JORVProxy.h>

#include <memory>
#include <string>

namespace orvane {
namespace authentication {

// Throws InvalidIPAddressException unless serverAddress is an IPv4 address
// in dotted-decimal text.
void RequireIpv4ServerAddress(const std::string& serverAddress);

// The "provider" value of jorvprovider.conf. An unreadable file or an empty
// value is InvalidJORVProxyProviderException ("(none installed)",
// "(unset)"); a missing key or malformed file passes unchanged.
std::string ReadJORVProviderName();

// Loads the named proxy plug-in; a plug-in file that cannot be opened is
// InvalidJORVProxyProviderException naming the provider.
std::unique_ptr<JORVProxy> OpenJORVProxy(const std::string& providerName, const std::string& serverAddress,
                                         bool verifyCertificate, const std::string& thumbprint);

}  // namespace authentication
}  // namespace orvane
