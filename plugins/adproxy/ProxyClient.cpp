#include "adproxy/ProxyClient.h"

#include "base/ProxyProtocol.h"
#include "base/ThumbprintText.h"

#include "common/StatusError.h"

#include <orvane/authentication/JORVProxyClient.h>

#include <httplib.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <openssl/pem.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <syslog.h>
#include <unistd.h>
#include <vector>

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

// The plug-in runs inside other programs: a write to a connection the
// service closed must fail with EPIPE, never raise SIGPIPE in the process
// (whose signal dispositions are not the plug-in's to change). OpenSSL's
// socket BIO writes with write(); this one sends with MSG_NOSIGNAL.
int SendWithoutSignal(BIO* bio, const char* data, int length)
{
    int fd = -1;
    BIO_get_fd(bio, &fd);
    BIO_clear_retry_flags(bio);
    const int sent = static_cast<int>(send(fd, data, static_cast<std::size_t>(std::max(length, 0)), MSG_NOSIGNAL));
    if (sent <= 0 && BIO_sock_should_retry(sent)) {
        BIO_set_retry_write(bio);
    }
    return sent;
}

// Freed when the plug-in is unloaded: no connection of its own outlives it,
// and the write function it names goes with the plug-in.
struct OwnedMethod {
    BIO_METHOD* method;
    ~OwnedMethod() { BIO_meth_free(method); }
};

BIO_METHOD* SocketWithoutSignal()
{
    static const OwnedMethod owned{[] {
        const BIO_METHOD* socket = BIO_s_socket();
        // A type of its own (a descriptor, for SSL_get_fd) tells it apart.
        BIO_METHOD* made =
            BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK | BIO_TYPE_DESCRIPTOR, "socket without SIGPIPE");
        if (made != nullptr) {
            BIO_meth_set_write(made, SendWithoutSignal);
            BIO_meth_set_read(made, BIO_meth_get_read(socket));
            BIO_meth_set_ctrl(made, BIO_meth_get_ctrl(socket));
            BIO_meth_set_create(made, BIO_meth_get_create(socket));
            BIO_meth_set_destroy(made, BIO_meth_get_destroy(socket));
        }
        return made;
    }()};
    return owned.method;
}

// httplib keeps a pointer to the socket BIO it made and calls
// BIO_set_nbio on it after the handshake: the BIOs replaced are kept until
// the client is gone. (No free callback of OpenSSL's: this plug-in may be
// unloaded, and OpenSSL would call it for every connection of the process.)
struct ReplacedSockets {
    std::vector<BIO*> kept;
    ~ReplacedSockets()
    {
        for (BIO* bio : kept) {
            BIO_free(bio);
        }
    }
};

int ReplacedSocketsIndex()
{
    static const int index = SSL_CTX_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    return index;
}

// httplib gives its connection a socket BIO and no hook before the
// handshake; the first thing the handshake does is tell this callback, and
// nothing has been written yet.
void SendWithoutSignalFromTheStart(const SSL* connection, int where)
{
    SSL* ssl = const_cast<SSL*>(connection);
    BIO* current = SSL_get_wbio(ssl);
    if ((where & SSL_CB_HANDSHAKE_START) == 0 || current == nullptr || SocketWithoutSignal() == nullptr ||
        BIO_method_type(current) != BIO_TYPE_SOCKET) {
        return;
    }
    int fd = -1;
    BIO* replacement = BIO_get_fd(current, &fd) >= 0 ? BIO_new(SocketWithoutSignal()) : nullptr;
    auto* replaced = static_cast<ReplacedSockets*>(SSL_CTX_get_ex_data(SSL_get_SSL_CTX(ssl), ReplacedSocketsIndex()));
    if (replacement != nullptr && replaced != nullptr && BIO_up_ref(current) == 1) {
        replaced->kept.push_back(current);
        BIO_set_fd(replacement, fd, BIO_NOCLOSE);
        SSL_set_bio(ssl, replacement, replacement);
    } else {
        BIO_free(replacement);
    }
}

// The TLS alert the service ended the connection with, recorded by the
// context's info callback: a refused client certificate shows only there.
void RecordAlert(const SSL* connection, int where, int value)
{
    if ((where & SSL_CB_READ_ALERT) != 0) {
        *static_cast<int*>(SSL_CTX_get_app_data(SSL_get_SSL_CTX(connection))) = value & 0xff;
    }
}

// The context's one info callback.
void OnTlsEvent(const SSL* connection, int where, int value)
{
    SendWithoutSignalFromTheStart(connection, where);
    RecordAlert(connection, where, value);
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

std::uint32_t TransportStatus(const ServerEndpoint& server, httplib::Error error,
                              std::chrono::steady_clock::time_point since)
{
    if (error == httplib::Error::Write || (error == httplib::Error::Read && !Elapsed(since, IO_TIMEOUT_SECONDS))) {
        syslog(LOG_WARNING, "adproxy: the connection to the service at %s port %d was closed or broke while %s",
               server.address.c_str(), server.port,
               error == httplib::Error::Write ? "the request was being sent" : "its answer was awaited");
    }
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
    ReplacedSockets replaced;  // outlives the client
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
    SSL_CTX_set_ex_data(context, ReplacedSocketsIndex(), &replaced);
    SSL_CTX_set_info_callback(context, OnTlsEvent);
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
            Fail(ORVAUTH_STATUS_ACCESS_DENIED, RefusalReason(refusal, server.settingsFile));
        }
        Fail(TransportStatus(server, result.error(), started));
    }
    const int httpStatus = result->status;
    Wipe(result->body);
    return AnswerOf(httpStatus, received, server.settingsFile);
}

}  // namespace orvauth_proxy
