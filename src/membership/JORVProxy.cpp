#include "activedirectory/PluginFile.h"
#include "errors/MappedFailure.h"

#include <orvane/authentication/Exceptions.h>
#include <orvane/authentication/JORVProxy.h>

#include <dlfcn.h>

#include <cstddef>

namespace orvane {
namespace authentication {

namespace {

std::string LoaderError()
{
    const char* text = dlerror();
    return text == nullptr ? std::string() : std::string(text);
}

// The proxy's statuses have classes of their own; the plug-in's reason,
// when it gave one (what the proxy refused and what to do), replaces the
// generic text.
[[noreturn]] void ThrowProxyStatus(JORVProxyStatus status, const std::string& reason)
{
    switch (status) {
    case 8:
    case 1225:
    case 1229:
    case 10060:
        ThrowMappedException(status, reason);
    case JORV_PROXY_STATUS_UNTRUSTED_CERTIFICATE:
        throw InvalidJORVCertificateException();
    default:
        if (reason.empty()) {
            throw UnknownException(static_cast<unsigned long>(status));
        }
        throw UnknownException(static_cast<unsigned long>(status), reason);
    }
}

// Strings a plug-in returned from a successful call, handed back to it in
// the order it returned them, also when copying them fails.
template <std::size_t N>
class PluginStrings {
public:
    explicit PluginStrings(JORVProxyStatus (*release)(char*)) : release(release)
    {
        for (char*& text : texts) {
            text = nullptr;
        }
    }
    ~PluginStrings()
    {
        if (!owned) {
            return;
        }
        for (char* text : texts) {
            if (text != nullptr) {
                release(text);
            }
        }
    }
    PluginStrings(const PluginStrings&) = delete;
    PluginStrings& operator=(const PluginStrings&) = delete;

    char** Out(std::size_t index) { return &texts[index]; }

    // After a failed call the outs are the plug-in's business, not ours.
    void TakeOwnership() { owned = true; }

    // A plug-in that reports success without a string means "nothing".
    // Secrets are copied straight into the string type that wipes them.
    template <class Text = std::string>
    Text Copy(std::size_t index) const
    {
        return texts[index] == nullptr ? Text() : Text(texts[index]);
    }

private:
    JORVProxyStatus (*release)(char*);
    char* texts[N];
    bool owned = false;
};

}  // namespace

JORVProxy::JORVProxy(const std::string& providerName, const std::string& serverAddress, bool verifyCertificate,
                     const std::string& thumbprint)
    : handle(nullptr),
      operations(nullptr),
      verifyCertificate(verifyCertificate),
      serverAddress(serverAddress),
      thumbprint(thumbprint)
{
    std::string loaderError;
    try {
        handle = OpenPluginFile(providerName, loaderError);
    } catch (const UnsafePluginError& error) {
        throw InvalidJORVProxyProviderException(error.Name(), error.what());
    }
    if (handle == nullptr) {
        throw IOError("Unable to open JORV provider: " + loaderError);
    }

    dlerror();
    operations = static_cast<const JORVProxyClientOperations*>(dlsym(handle, JORV_PROXY_CLIENT_OPERATIONS_SYMBOL));
    if (operations == nullptr || operations->GetDomainInfo == nullptr || operations->CreateMachineAccount == nullptr ||
        operations->Release == nullptr) {
        const std::string reason = LoaderError();
        dlclose(handle);
        handle = nullptr;
        operations = nullptr;
        throw InvalidJORVProxyProviderException(providerName, reason);
    }
}

JORVProxy::~JORVProxy()
{
    if (handle != nullptr) {
        dlclose(handle);
    }
}

void JORVProxy::GetDomainInfo(std::string& netbiosName, std::string& dnsName, std::string& sid) const
{
    PluginStrings<3> answers(operations->Release);
    const JORVProxyStatus status =
        operations->GetDomainInfo(serverAddress.c_str(), verifyCertificate ? 1 : 0, thumbprint.c_str(),
                                  answers.Out(0), answers.Out(1), answers.Out(2));
    if (status != 0) {
        ThrowProxyStatus(status, PluginFailureReason(handle));
    }
    answers.TakeOwnership();
    netbiosName = answers.Copy(0);
    dnsName = answers.Copy(1);
    sid = answers.Copy(2);
}

std::string JORVProxy::GetNetBIOSDomainName() const
{
    std::string netbiosName, dnsName, sid;
    GetDomainInfo(netbiosName, dnsName, sid);
    return netbiosName;
}

std::string JORVProxy::GetDNSDomainName() const
{
    std::string netbiosName, dnsName, sid;
    GetDomainInfo(netbiosName, dnsName, sid);
    return dnsName;
}

std::string JORVProxy::GetDomainSID() const
{
    std::string netbiosName, dnsName, sid;
    GetDomainInfo(netbiosName, dnsName, sid);
    return sid;
}

std::string JORVProxy::GetDomainController() const
{
    return std::string();
}

std::string JORVProxy::GetDefaultComputerContainer() const
{
    return std::string();
}

ComputerPrincipalInfo JORVProxy::CreateMachineAccount(const std::string& hostName, const std::string& container) const
{
    ComputerPrincipalInfo created;
    PluginStrings<2> answers(operations->Release);
    const JORVProxyStatus status = operations->CreateMachineAccount(
        serverAddress.c_str(), hostName.c_str(), container.empty() ? nullptr : container.c_str(),
        verifyCertificate ? 1 : 0, thumbprint.c_str(), answers.Out(0), answers.Out(1));
    if (status != 0) {
        ThrowProxyStatus(status, PluginFailureReason(handle));
    }
    answers.TakeOwnership();
    created.createdValue1 = answers.Copy<SecretString>(0);
    created.createdValue2 = answers.Copy<SecretString>(1);
    return created;
}

}  // namespace authentication
}  // namespace orvane
