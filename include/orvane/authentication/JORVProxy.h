// The library's door to the authentication-proxy client plug-in: loads it,
// checks its operations table, forwards each request with the server address
// and certificate-verification settings, copies and releases the plug-in's
// strings, and turns its statuses into exceptions.
#pragma once

#include <orvane/authentication/Export.h>
#include <orvane/authentication/JORVProxyClient.h>
#include <orvane/authentication/JORVRecords.h>

#include <cstdint>
#include <string>

namespace orvane {
namespace authentication {

// The advanced option that says whether a join through a proxy checks the
// proxy's certificate.
constexpr const char VERIFY_JORV_CERTIFICATE_OPTION[] = "UserVars.ActiveDirectoryVerifyJORVCertificate";

// The option's value as a join reads it: 0 or 1. Throws
// InvalidVerifyJORVCertificateOptionException when it is missing, not an
// integer option, or another value.
ORVAUTH_API std::int64_t ReadVerifyJORVCertificateOption();

class ORVAUTH_API JORVProxy {
public:
    // Loads lib<providerName>.so from the plug-in directory's lib64/
    // subdirectory, else from the directory itself. Throws IOError when
    // neither can be opened, InvalidJORVProxyProviderException for a name
    // with a '/' in it (nothing is loaded then) or for a plug-in without a
    // usable operations table (it is unloaded again).
    JORVProxy(const std::string& providerName, const std::string& serverAddress, bool verifyCertificate,
              const std::string& thumbprint);
    ~JORVProxy();
    JORVProxy(const JORVProxy&) = delete;
    JORVProxy& operator=(const JORVProxy&) = delete;

    // One request to the proxy. A string the plug-in leaves null on success
    // is taken as empty.
    void GetDomainInfo(std::string& netbiosName, std::string& dnsName, std::string& sid) const;

    // Each repeats the whole GetDomainInfo request and keeps one answer.
    std::string GetNetBIOSDomainName() const;
    std::string GetDNSDomainName() const;
    std::string GetDomainSID() const;

    // The proxy names no controller and no default container: both empty,
    // without asking the plug-in.
    std::string GetDomainController() const;
    std::string GetDefaultComputerContainer() const;

    // An empty container lets the proxy choose one.
    ComputerPrincipalInfo CreateMachineAccount(const std::string& hostName, const std::string& container) const;

private:
    void* handle;
    const JORVProxyClientOperations* operations;
    bool verifyCertificate;
    std::string serverAddress;
    std::string thumbprint;
};

}  // namespace authentication
}  // namespace orvane
