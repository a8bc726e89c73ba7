#include "adproxy/ProxyClient.h"

#include "base/ProxyProtocol.h"
#include "base/ThumbprintText.h"

#include "common/StatusError.h"

#include <orvane/authentication/JORVProxyClient.h>

#include <httplib.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <chrono>

namespace orvauth_proxy {

using orvauth_plugin::Fail;

namespace {

struct Pin {
    const std::string* thumbprint;
    bool mismatch = false;
};

// Replaces the chain verification of OpenSSL: the service's certificate is
// trusted exactly when its thumbprint is the pinned one, whoever issued it.
int VerifyPinned(X509_STORE_CTX* context, void* argument)
{
    Pin* pin = static_cast<Pin*>(argument);
    X509* certificate = X509_STORE_CTX_get0_cert(context);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (certificate == nullptr || X509_digest(certificate, EVP_sha1(), digest, &length) <= 0 ||
        pin->thumbprint->empty() || orvauth_base::ThumbprintText(digest, length) != *pin->thumbprint) {
        pin->mismatch = true;
        X509_STORE_CTX_set_error(context, X509_V_ERR_CERT_REJECTED);
        return 0;
    }
    return 1;
}

bool Elapsed(std::chrono::steady_clock::time_point since, int seconds)
{
    // A step that fails after (nearly) its whole allowance ran out of time.
    return std::chrono::steady_clock::now() - since >= std::chrono::seconds(seconds) - std::chrono::milliseconds(250);
}

std::uint32_t TransportStatus(httplib::Error error, std::chrono::steady_clock::time_point since)
{
    switch (error) {
    case httplib::Error::Connection:
        return ORVAUTH_STATUS_CONNECTION_REFUSED;
    case httplib::Error::ConnectionTimeout:
        return ORVAUTH_STATUS_TIMED_OUT;
    case httplib::Error::SSLConnection:
        return Elapsed(since, CONNECT_TIMEOUT_SECONDS) ? ORVAUTH_STATUS_TIMED_OUT : ORVAUTH_STATUS_CONNECTION_INVALID;
    case httplib::Error::Read:
    case httplib::Error::Write:
        return Elapsed(since, IO_TIMEOUT_SECONDS) ? ORVAUTH_STATUS_TIMED_OUT : ORVAUTH_STATUS_CONNECTION_INVALID;
    case httplib::Error::Canceled:  // the answer outgrew its bound
        return ORVAUTH_STATUS_CONNECTION_INVALID;
    default:
        return ORVAUTH_STATUS_INTERNAL_ERROR;
    }
}

SecretJson ParseAnswer(const SecretString& text)
{
    SecretJson answer = SecretJson::parse(text.begin(), text.end(), nullptr, false);
    ScrubStack();
    if (!answer.is_object()) {
        Fail(ORVAUTH_STATUS_CONNECTION_INVALID);
    }
    return answer;
}

}  // namespace

SecretJson Post(const ServerEndpoint& server, const char* path, const std::string& body)
{
    httplib::SSLClient client(server.address, server.port);
    SSL_CTX* context = client.ssl_context();
    if (!client.is_valid() || context == nullptr || SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION) != 1) {
        Fail(ORVAUTH_STATUS_INTERNAL_ERROR);
    }
    // The answer carries a one-time password: no plaintext copy stays in
    // OpenSSL's buffers.
    SSL_CTX_set_options(context, SSL_OP_CLEANSE_PLAINTEXT);
    // httplib's own verification checks a CA chain and the host name; the
    // pin replaces both.
    client.enable_server_certificate_verification(false);
    Pin pin{&server.thumbprint};
    if (server.verify) {
        SSL_CTX_set_verify(context, SSL_VERIFY_PEER, nullptr);
        SSL_CTX_set_cert_verify_callback(context, VerifyPinned, &pin);
    }
    client.set_connection_timeout(CONNECT_TIMEOUT_SECONDS, 0);
    client.set_read_timeout(IO_TIMEOUT_SECONDS, 0);
    client.set_write_timeout(IO_TIMEOUT_SECONDS, 0);
    client.set_keep_alive(false);

    SecretString received;
    received.reserve(MAX_BODY_BYTES);
    httplib::Request request;
    request.method = "POST";
    request.path = path;
    request.body = body;
    request.set_header("Content-Type", JSON_CONTENT_TYPE);
    request.content_receiver = [&](const char* data, std::size_t length, std::uint64_t, std::uint64_t) {
        if (received.size() + length > MAX_BODY_BYTES) {
            return false;
        }
        received.append(data, length);
        return true;
    };
    const auto started = std::chrono::steady_clock::now();
    httplib::Result result = client.send(request);
    if (pin.mismatch) {
        Fail(JORV_PROXY_STATUS_UNTRUSTED_CERTIFICATE);
    }
    if (!result) {
        Fail(TransportStatus(result.error(), started));
    }
    const int httpStatus = result->status;
    Wipe(result->body);
    if (httpStatus == 200) {
        return ParseAnswer(received);
    }
    // A refusal explains itself with a status, unless something in front of
    // the service's handlers (the size bound, an unknown path) answered.
    const SecretJson answer = SecretJson::parse(received.begin(), received.end(), nullptr, false);
    const auto status = answer.is_object() ? answer.find(field::STATUS_CODE) : answer.end();
    if (status != answer.end() && status->is_number_unsigned() && IsServiceStatus(status->get<std::uint64_t>())) {
        Fail(static_cast<std::uint32_t>(status->get<std::uint64_t>()));
    }
    Fail(httpStatus == 413 || httpStatus == 400 ? SERVICE_INVALID_PARAMETER : SERVICE_INTERNAL_ERROR);
}

}  // namespace orvauth_proxy
