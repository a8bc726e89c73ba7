#include "ProxyService.h"

#include "base/LogText.h"
#include "base/ProxyProtocol.h"

#include <httplib.h>
#include <nlohmann/json.hpp>
#include <openssl/pem.h>
#include <openssl/ssl.h>

#include <cstdio>
#include <syslog.h>
#include <unistd.h>

namespace orvauth_proxyd {

using namespace orvauth_proxy;
using namespace orvauth_base;

namespace {

constexpr int READ_TIMEOUT_SECONDS = 5;
constexpr int WRITE_TIMEOUT_SECONDS = 5;
constexpr std::size_t WORKERS = 4;

// Client-supplied text in a log line: escaped, bounded.
std::string Printable(const std::string& text) { return orvauth_base::LogText(text, 255); }

void Refuse(httplib::Response& response, int httpStatus, std::uint32_t status, const std::string& message)
{
    nlohmann::json body = {{field::STATUS_CODE, status}, {field::MESSAGE, message}};
    response.status = httpStatus;
    response.set_content(body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace), JSON_CONTENT_TYPE);
}

int HttpStatusFor(std::uint32_t status)
{
    switch (status) {
    case SERVICE_INVALID_PARAMETER:
    case SERVICE_INVALID_COMPUTER_NAME:
        return 400;
    case SERVICE_ACCESS_DENIED:
        return 403;
    case SERVICE_NO_SUCH_DOMAIN:
    case SERVICE_LOGON_FAILURE:
        return 502;
    default:
        return 500;
    }
}

nlohmann::json RequestBody(const httplib::Request& request)
{
    nlohmann::json body = nlohmann::json::parse(request.body, nullptr, false);
    if (!body.is_object()) {
        throw RequestFailure(SERVICE_INVALID_PARAMETER, "the body is not a JSON object");
    }
    return body;
}

std::string TextMember(const nlohmann::json& body, const char* name, bool required)
{
    const auto member = body.find(name);
    if (member == body.end() && !required) {
        return "";
    }
    if (member == body.end() || !member->is_string()) {
        throw RequestFailure(SERVICE_INVALID_PARAMETER, std::string("\"") + name + "\" is missing or not text");
    }
    return member->get<std::string>();
}

std::unique_ptr<X509, void (*)(X509*)> LoadCertificate(const std::string& path)
{
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "re"), std::fclose);
    X509* certificate = file ? PEM_read_X509(file.get(), nullptr, nullptr, nullptr) : nullptr;
    if (certificate == nullptr) {
        throw ConfigurationRefused(path + ": no PEM certificate can be read");
    }
    return {certificate, X509_free};
}

std::unique_ptr<EVP_PKEY, void (*)(EVP_PKEY*)> LoadPrivateKey(const std::string& path)
{
    const int descriptor = OpenPrivateFile(path);
    std::unique_ptr<FILE, int (*)(FILE*)> file(fdopen(descriptor, "r"), std::fclose);
    if (!file) {
        close(descriptor);
        throw ConfigurationRefused(path + ": cannot be read");
    }
    EVP_PKEY* key = PEM_read_PrivateKey(file.get(), nullptr, nullptr, nullptr);
    if (key == nullptr) {
        throw ConfigurationRefused(path + ": no unencrypted PEM private key can be read");
    }
    return {key, EVP_PKEY_free};
}

}  // namespace

ProxyService::ProxyService(const ServiceConfiguration& settings_, Directory& directory_)
    : settings(settings_), directory(directory_)
{
    const auto certificate = LoadCertificate(settings.certificate);
    const auto key = LoadPrivateKey(settings.privateKey);
    server.reset(new httplib::SSLServer(certificate.get(), key.get()));
    SSL_CTX* context = server->ssl_context();
    if (!server->is_valid() || context == nullptr || SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION) != 1) {
        throw ConfigurationRefused(settings.privateKey + ": the key does not match " + settings.certificate);
    }
    // Received requests never hold secrets, but the same context sends them.
    SSL_CTX_set_options(context, SSL_OP_CLEANSE_PLAINTEXT);
    server->new_task_queue = [] { return new httplib::ThreadPool(WORKERS); };
    server->set_payload_max_length(MAX_BODY_BYTES);
    server->set_read_timeout(READ_TIMEOUT_SECONDS, 0);
    server->set_write_timeout(WRITE_TIMEOUT_SECONDS, 0);
    server->set_keep_alive_max_count(1);

    server->Post(DOMAIN_INFORMATION_PATH, [this](const httplib::Request& request, httplib::Response& response) {
        AnswerDomainInformation(request, response);
    });
    server->Post(MACHINE_ACCOUNT_PATH, [this](const httplib::Request& request, httplib::Response& response) {
        AnswerMachineAccount(request, response);
    });

    // Anything the handlers did not answer: unknown paths and methods,
    // oversized bodies, and a handler that failed unexpectedly.
    server->set_exception_handler([](const httplib::Request& request, httplib::Response& response, std::exception_ptr) {
        syslog(LOG_ERR, "%s %s from %s: internal error", request.method.c_str(), Printable(request.path).c_str(),
               request.remote_addr.c_str());
        Refuse(response, 500, SERVICE_INTERNAL_ERROR, "internal error");
    });
    server->set_error_handler(httplib::Server::HandlerWithResponse([](const httplib::Request& request, httplib::Response& response) {
        if (!response.body.empty()) {
            return httplib::Server::HandlerResponse::Unhandled;
        }
        syslog(LOG_WARNING, "%s %s from %s: refused with HTTP status %d", Printable(request.method).c_str(),
               Printable(request.path).c_str(), request.remote_addr.c_str(), response.status);
        Refuse(response, response.status, SERVICE_INVALID_PARAMETER, "not a request of this service");
        return httplib::Server::HandlerResponse::Handled;
    }));
}

void ProxyService::AnswerDomainInformation(const httplib::Request& request, httplib::Response& response)
{
    try {
        RequestBody(request);
        const DomainInformation information = directory.Describe();
        nlohmann::json body = {{field::NETBIOS_NAME, information.netbiosName},
                               {field::DNS_NAME, information.dnsName},
                               {field::SID, information.sid}};
        response.set_content(body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace),
                             JSON_CONTENT_TYPE);
        syslog(LOG_INFO, "domain information for %s: %s", request.remote_addr.c_str(),
               information.dnsName.c_str());
    } catch (const RequestFailure& failure) {
        syslog(LOG_WARNING, "domain information for %s refused (%u): %s", request.remote_addr.c_str(),
               failure.status, failure.what());
        Refuse(response, HttpStatusFor(failure.status), failure.status, failure.what());
    }
}

void ProxyService::AnswerMachineAccount(const httplib::Request& request, httplib::Response& response)
{
    std::string hostName;
    try {
        const nlohmann::json body = RequestBody(request);
        for (const auto& member : body.items()) {
            if (member.key() != field::HOST_NAME && member.key() != field::CONTAINER) {
                throw RequestFailure(SERVICE_INVALID_PARAMETER, "unknown member \"" + Printable(member.key()) + "\"");
            }
        }
        hostName = TextMember(body, field::HOST_NAME, true);
        const std::string container = TextMember(body, field::CONTAINER, false);
        ComputerNameForHost(hostName);
        if (body.contains(field::CONTAINER)) {
            CheckContainer(container);
        }
        const SecretString password = NewOneTimePassword();
        const CreatedAccount account = directory.CreateOrReset(hostName, container, password);
        // The answer is built in wiped memory and streamed from there.
        auto answer = std::make_shared<SecretString>();
        answer->reserve(MAX_BODY_BYTES);
        *answer += "{\"";
        *answer += field::ACCOUNT_NAME;
        *answer += "\":";
        *answer += nlohmann::json(account.accountName).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace).c_str();
        *answer += ",\"";
        *answer += field::ACCOUNT_DN;
        *answer += "\":";
        *answer += nlohmann::json(account.dn).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace).c_str();
        *answer += ",\"";
        *answer += field::PASSWORD;
        *answer += "\":\"";
        *answer += password;  // letters and digits: nothing to escape
        *answer += "\"}";
        const std::size_t length = answer->size();
        response.set_content_provider(
            length, JSON_CONTENT_TYPE,
            [answer](std::size_t offset, std::size_t count, httplib::DataSink& sink) {
                return sink.write(answer->data() + offset, std::min(count, answer->size() - offset));
            },
            [answer](bool) { Wipe(*answer); });
        syslog(LOG_NOTICE, "machine account for %s, host %s: %s %s", request.remote_addr.c_str(),
               hostName.c_str(), account.reused ? "new password for existing" : "created", account.dn.c_str());
    } catch (const RequestFailure& failure) {
        syslog(LOG_WARNING, "machine account for %s, host %s: refused (%u): %s", request.remote_addr.c_str(),
               Printable(hostName).c_str(), failure.status, failure.what());
        Refuse(response, HttpStatusFor(failure.status), failure.status, failure.what());
    }
    ScrubStack();
}

ProxyService::~ProxyService() = default;

bool ProxyService::Run()
{
    if (!server->bind_to_port(settings.listenAddress.c_str(), settings.listenPort)) {
        syslog(LOG_ERR, "cannot listen on %s port %d", settings.listenAddress.c_str(), settings.listenPort);
        return false;
    }
    syslog(LOG_INFO, "listening on %s port %d", settings.listenAddress.c_str(), settings.listenPort);
    return server->listen_after_bind();
}

void ProxyService::Stop() { server->stop(); }

}  // namespace orvauth_proxyd
