#include "adproxy/ProxyClient.h"

#include "base/ProxyProtocol.h"
#include "base/ThumbprintText.h"

#include "common/StatusError.h"

#include <orvane/authentication/JORVProxyClient.h>

#include <httplib.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <openssl/pem.h>
#include <sys/stat.h>
#include <syslog.h>
#include <unistd.h>

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

// The TLS alert the service ended the connection with, recorded by the
// context's info callback: a refused client certificate shows only there.
void RecordAlert(const SSL* connection, int where, int value)
{
    if ((where & SSL_CB_READ_ALERT) != 0) {
        *static_cast<int*>(SSL_CTX_get_app_data(SSL_get_SSL_CTX(connection))) = value & 0xff;
    }
}

// What a refusal means to the operator, by the service's reason class or
// the TLS alert it sent.
std::string RefusalReason(const std::string& refusal, const ServerEndpoint& server)
{
    const std::string certificateIn = " (client_certificate and client_key in " + server.settingsFile + ")";
    if (refusal == "unknown-certificate") {
        return "The authentication proxy did not accept this host's certificate: none was shown, or no certificate "
               "authority it trusts issued it; set the certificate and key the proxy's certificate authority issued "
               "for this host" + certificateIn;
    }
    if (refusal == "revoked") {
        return "The authentication proxy refused this host's certificate as revoked: have a new one issued for this "
               "host and set it" + certificateIn;
    }
    if (refusal == "expired") {
        return "The authentication proxy refused this host's certificate as expired, or its own revocation list "
               "has expired: renew the certificate" + certificateIn +
               ", or have the proxy's administrator publish a current revocation list";
    }
    if (refusal == reason::HOST_NAME) {
        return "The authentication proxy refused this host's name: its certificate names another host, or the "
               "name is outside the domains the proxy serves; use the certificate issued for this host's name" +
               certificateIn;
    }
    if (refusal == reason::NOT_SERVICE_ACCOUNT) {
        return "The authentication proxy refused to reset the machine account: an account of this host's name "
               "exists that the proxy did not create; remove it from the directory, or join with an "
               "administrator's credentials";
    }
    if (refusal == reason::RATE_LIMIT) {
        return "The authentication proxy refused the request: too many account requests with this host's "
               "certificate in the last minute; try again in a minute";
    }
    if (refusal == reason::REQUEST) {
        return "The authentication proxy refused the request as malformed: check the host's name and the "
               "organizational unit";
    }
    if (refusal == reason::DIRECTORY) {
        return "The authentication proxy could not complete the request in the directory; the proxy's log has "
               "the details";
    }
    return "The authentication proxy could not complete the request; the proxy's log has the details";
}

// The refusal class of a TLS alert about the host's certificate; "" for
// any other alert.
const char* AlertRefusal(int alert)
{
    switch (alert) {
    case SSL_AD_CERTIFICATE_REVOKED:
        return "revoked";
    case SSL_AD_CERTIFICATE_EXPIRED:
        return "expired";
    case SSL_AD_HANDSHAKE_FAILURE:  // TLS 1.2: no certificate shown
    case SSL_AD_BAD_CERTIFICATE:
    case SSL_AD_UNSUPPORTED_CERTIFICATE:
    case SSL_AD_CERTIFICATE_UNKNOWN:
    case SSL_AD_UNKNOWN_CA:
    case SSL_AD_ACCESS_DENIED:
    case TLS13_AD_CERTIFICATE_REQUIRED:
        return "unknown-certificate";
    default:
        return "";
    }
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

[[noreturn]] void Unusable(const std::string& path, const std::string& why)
{
    syslog(LOG_ERR, "adproxy: the host's certificate or key %s cannot be used: %s", path.c_str(), why.c_str());
    Fail(ORVAUTH_STATUS_INTERNAL_ERROR);
}

using Certificate = std::unique_ptr<X509, void (*)(X509*)>;
using PrivateKey = std::unique_ptr<EVP_PKEY, void (*)(EVP_PKEY*)>;

Certificate ReadClientCertificate(const std::string& path)
{
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "re"), std::fclose);
    if (!file) {
        Unusable(path, std::strerror(errno));
    }
    X509* certificate = PEM_read_X509(file.get(), nullptr, nullptr, nullptr);
    if (certificate == nullptr) {
        Unusable(path, "no PEM certificate in it");
    }
    return {certificate, X509_free};
}

PrivateKey ReadClientKey(const std::string& path)
{
    const int descriptor = OpenClientKey(path);
    std::unique_ptr<FILE, int (*)(FILE*)> file(fdopen(descriptor, "r"), std::fclose);
    if (!file) {
        close(descriptor);
        Unusable(path, std::strerror(errno));
    }
    EVP_PKEY* key = PEM_read_PrivateKey(file.get(), nullptr, nullptr, nullptr);
    if (key == nullptr) {
        Unusable(path, "no unencrypted PEM private key in it");
    }
    return {key, EVP_PKEY_free};
}

}  // namespace

int OpenClientKey(const std::string& path)
{
    const int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (descriptor < 0) {
        Unusable(path, std::strerror(errno));
    }
    struct stat status {};
    if (fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode) || (status.st_mode & 077) != 0 ||
        (status.st_uid != 0 && status.st_uid != geteuid())) {
        close(descriptor);
        Unusable(path, "it must be a regular file of mode 0600 or stricter, owned by root or the process's user");
    }
    return descriptor;
}

SecretJson Post(const ServerEndpoint& server, const char* path, const std::string& body)
{
    int alert = 0;  // outlives the client, whose closing may still read one
    Certificate certificate(nullptr, X509_free);
    PrivateKey key(nullptr, EVP_PKEY_free);
    if (!server.clientCertificate.empty() || !server.clientKey.empty()) {
        certificate = ReadClientCertificate(server.clientCertificate);
        key = ReadClientKey(server.clientKey);
    }
    // httplib takes its own references to the certificate and the key.
    httplib::SSLClient client(server.address, server.port, certificate.get(), key.get());
    if (certificate && (client.ssl_context() == nullptr || SSL_CTX_check_private_key(client.ssl_context()) != 1)) {
        Unusable(server.clientKey, "it is not the key of " + server.clientCertificate);
    }
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
    SSL_CTX_set_app_data(context, &alert);
    SSL_CTX_set_info_callback(context, RecordAlert);
    Pin pin{&server.thumbprint};
    if (server.verify) {
        SSL_CTX_set_verify(context, SSL_VERIFY_PEER, nullptr);
        SSL_CTX_set_cert_verify_callback(context, VerifyPinned, &pin);
    }
    client.set_connection_timeout(CONNECT_TIMEOUT_SECONDS, 0);
    client.set_read_timeout(IO_TIMEOUT_SECONDS, 0);
    client.set_write_timeout(IO_TIMEOUT_SECONDS, 0);
    client.set_keep_alive(false);
    // The request goes out as two TLS records (head, then body): with Nagle
    // the second waits for the service's delayed ACK, 40 ms per request.
    client.set_tcp_nodelay(true);

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
        const std::string refusal = AlertRefusal(alert);
        if (!refusal.empty()) {
            Fail(ORVAUTH_STATUS_ACCESS_DENIED, RefusalReason(refusal, server));
        }
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
    const auto refusal = answer.is_object() ? answer.find(field::REASON) : answer.end();
    const std::string reasonClass =
        refusal != answer.end() && refusal->is_string() ? refusal->get_ref<const SecretString&>().c_str() : "";
    if (status != answer.end() && status->is_number_unsigned() && IsServiceStatus(status->get<std::uint64_t>())) {
        Fail(static_cast<std::uint32_t>(status->get<std::uint64_t>()), RefusalReason(reasonClass, server));
    }
    Fail(httpStatus == 413 || httpStatus == 400 ? SERVICE_INVALID_PARAMETER : SERVICE_INTERNAL_ERROR,
         RefusalReason(httpStatus == 413 || httpStatus == 400 ? reason::REQUEST : reason::INTERNAL, server));
}

}  // namespace orvauth_proxy
