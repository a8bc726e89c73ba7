// adproxy: the authentication-proxy client that asks an orvauth-proxyd
// service, over TLS pinned to the certificate's thumbprint, for the domain
// it serves and for a machine account with a one-time password. adproxy.conf
// in the plug-in directory may name the service's port ("port = <n>",
// default DEFAULT_PORT) and the host's own certificate and key the service
// authenticates it by ("client_certificate = <PEM file>", "client_key =
// <PEM file of mode 0600 or stricter>"). See docs/plugins.md.
#include "adproxy/ProxyClient.h"
#include "base/ProxyProtocol.h"
#include "common/StatusError.h"
#include "common/Results.h"
#include "common/StateFile.h"

#include <orvane/authentication/JORVProxyClient.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <syslog.h>

using namespace orvauth_plugin;
using orvauth_proxy::SecretJson;
using orvauth_proxy::SecretString;

namespace {

std::string PluginDirectoryPath() { return PluginDirectory(reinterpret_cast<const void*>(&PluginDirectoryPath)); }

// adproxy.conf is optional; a malformed one, an unknown key, a port out of
// range or only one of client_certificate and client_key fails every
// operation with 1359 rather than reaching somewhere else.
orvauth_proxy::ServerEndpoint Endpoint(const char* serverAddress, std::int32_t verifyCertificate,
                                       const char* thumbprint)
{
    if (serverAddress == nullptr || *serverAddress == '\0' || (verifyCertificate != 0 && verifyCertificate != 1)) {
        Fail(ORVAUTH_STATUS_INVALID_PARAMETER);
    }
    const std::string path = PluginDirectoryPath() + "/adproxy.conf";
    const StateFile settings = StateFile::Read(path);
    for (const std::string& key : settings.Keys()) {
        if (key != "port" && key != "client_certificate" && key != "client_key") {
            syslog(LOG_ERR, "adproxy: %s: unknown key \"%s\"", path.c_str(), key.c_str());
            Fail(ORVAUTH_STATUS_INTERNAL_ERROR);
        }
    }
    orvauth_proxy::ServerEndpoint server{serverAddress, orvauth_proxy::DEFAULT_PORT, verifyCertificate == 1,
                                         thumbprint == nullptr ? "" : thumbprint, settings.Value("client_certificate"),
                                         settings.Value("client_key"), path};
    if (server.clientCertificate.empty() != server.clientKey.empty()) {
        syslog(LOG_ERR, "adproxy: %s: client_certificate and client_key go together", path.c_str());
        Fail(ORVAUTH_STATUS_INTERNAL_ERROR);
    }
    if (settings.Has("port")) {
        const std::string text = settings.Value("port");
        char* end = nullptr;
        const long port = std::strtol(text.c_str(), &end, 10);
        if (text.empty() || *end != '\0' || port < 1 || port > 65535) {
            syslog(LOG_ERR, "adproxy: %s: port \"%s\" is not a port number", path.c_str(), text.c_str());
            Fail(ORVAUTH_STATUS_INTERNAL_ERROR);
        }
        server.port = static_cast<int>(port);
    }
    return server;
}

// A string the library receives; released through entry 3.
using Owned = std::unique_ptr<char, void (*)(void*)>;

// A non-empty text member of the answer, copied for the library.
Owned Member(const SecretJson& answer, const char* name)
{
    const auto member = answer.find(name);
    if (member == answer.end() || !member->is_string() || member->get_ref<const SecretString&>().empty()) {
        Fail(ORVAUTH_STATUS_CONNECTION_INVALID);  // the service's answer is not the protocol's
    }
    const SecretString& text = member->get_ref<const SecretString&>();
    if (std::memchr(text.data(), '\0', text.size()) != nullptr) {
        Fail(ORVAUTH_STATUS_CONNECTION_INVALID);
    }
    return Owned(CopyString(text.data(), text.size()), WipeAndRelease);
}

JORVProxyStatus GetDomainInfo(const char* serverAddress, std::int32_t verifyCertificate, const char* thumbprint,
                              char** netbiosName, char** dnsName, char** sid)
{
    return Guarded([&] {
        if (netbiosName == nullptr || dnsName == nullptr || sid == nullptr) {
            Fail(ORVAUTH_STATUS_INVALID_PARAMETER);
        }
        const auto server = Endpoint(serverAddress, verifyCertificate, thumbprint);
        const SecretJson answer = orvauth_proxy::Post(server, orvauth_proxy::DOMAIN_INFORMATION_PATH, "{}");
        Owned netbios = Member(answer, orvauth_proxy::field::NETBIOS_NAME);
        Owned dns = Member(answer, orvauth_proxy::field::DNS_NAME);
        Owned identifier = Member(answer, orvauth_proxy::field::SID);
        *netbiosName = netbios.release();
        *dnsName = dns.release();
        *sid = identifier.release();
    });
}

JORVProxyStatus CreateMachineAccount(const char* serverAddress, const char* hostName, const char* computerContainer,
                                     std::int32_t verifyCertificate, const char* thumbprint, char** createdValue1,
                                     char** createdValue2)
{
    const JORVProxyStatus status = Guarded([&] {
        if (createdValue1 == nullptr || createdValue2 == nullptr) {
            Fail(ORVAUTH_STATUS_INVALID_PARAMETER);
        }
        if (hostName == nullptr || *hostName == '\0') {
            Fail(ORVAUTH_STATUS_INVALID_COMPUTER_NAME);
        }
        const auto server = Endpoint(serverAddress, verifyCertificate, thumbprint);
        nlohmann::json request = {{orvauth_proxy::field::HOST_NAME, hostName}};
        if (computerContainer != nullptr) {
            request[orvauth_proxy::field::CONTAINER] = computerContainer;
        }
        // The library's texts may be any bytes; replace what is not UTF-8
        // and let the service refuse it.
        const std::string body = request.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
        const SecretJson answer = orvauth_proxy::Post(server, orvauth_proxy::MACHINE_ACCOUNT_PATH, body);
        // The first created value is the account's distinguished name, which
        // is what the directory clients take it for.
        Owned account = Member(answer, orvauth_proxy::field::ACCOUNT_DN);
        Owned password = Member(answer, orvauth_proxy::field::PASSWORD);
        *createdValue1 = account.release();
        *createdValue2 = password.release();
    });
    orvauth_proxy::ScrubStack();
    return status;
}

// The second created value is a one-time password: every string is wiped
// before it is freed.
JORVProxyStatus Release(char* text)
{
    WipeAndRelease(text);
    return ORVAUTH_STATUS_SUCCESS;
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) struct JORVProxyClientOperations JORVProxyClientOperations = {
    nullptr,  // entry 0 is not used
    GetDomainInfo,
    CreateMachineAccount,
    Release,
};

}  // extern "C"
