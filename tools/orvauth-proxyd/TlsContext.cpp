#include "TlsContext.h"

#include "ClientIdentity.h"

#include <boost/asio/ssl.hpp>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/x509_vfy.h>

#include <cstdio>
#include <syslog.h>
#include <unistd.h>

namespace orvauth_proxyd {

namespace {

constexpr int MAX_CHAIN_DEPTH = 4;

[[noreturn]] void Refused(const std::string& path, const std::string& what)
{
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    char reason[256] = {};
    if (code != 0) {
        ERR_error_string_n(code, reason, sizeof reason);
    }
    throw ConfigurationRefused(path + ": " + what + (code != 0 ? std::string(" (") + reason + ")" : ""));
}

std::unique_ptr<EVP_PKEY, void (*)(EVP_PKEY*)> LoadPrivateKey(const std::string& path)
{
    const int descriptor = OpenPrivateFile(path);
    std::unique_ptr<FILE, int (*)(FILE*)> file(fdopen(descriptor, "r"), std::fclose);
    if (!file) {
        close(descriptor);
        Refused(path, "cannot be read");
    }
    EVP_PKEY* key = PEM_read_PrivateKey(file.get(), nullptr, nullptr, nullptr);
    if (key == nullptr) {
        Refused(path, "no unencrypted PEM private key can be read");
    }
    return {key, EVP_PKEY_free};
}

// Records in the log which certificate was refused, and why; the client
// learns only that the handshake failed.
int LogRefusedCertificate(int verified, X509_STORE_CTX* store)
{
    if (verified == 1) {
        return 1;
    }
    const ClientIdentity offered = IdentityOf(X509_STORE_CTX_get_current_cert(store));
    syslog(LOG_WARNING, "client certificate refused at depth %d: %s; %s",
           X509_STORE_CTX_get_error_depth(store), X509_verify_cert_error_string(X509_STORE_CTX_get_error(store)),
           offered.Described().c_str());
    return 0;
}

}  // namespace

std::shared_ptr<boost::asio::ssl::context> ServerTlsContext(const ServiceConfiguration& settings)
{
    auto tls = std::make_shared<boost::asio::ssl::context>(boost::asio::ssl::context::tls_server);
    SSL_CTX* context = tls->native_handle();
    SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
    // The answers carry one-time passwords: no plaintext copy stays in
    // OpenSSL's buffers. No session is resumed: every connection shows its
    // certificate afresh, checked against the CRL of the moment.
    SSL_CTX_set_options(context, SSL_OP_CLEANSE_PLAINTEXT | SSL_OP_NO_TICKET | SSL_OP_NO_COMPRESSION |
                                     SSL_OP_NO_RENEGOTIATION);
    SSL_CTX_set_session_cache_mode(context, SSL_SESS_CACHE_OFF);
    SSL_CTX_set_num_tickets(context, 0);

    if (SSL_CTX_use_certificate_chain_file(context, settings.certificate.c_str()) != 1) {
        Refused(settings.certificate, "no PEM certificate can be read");
    }
    const auto key = LoadPrivateKey(settings.privateKey);
    if (SSL_CTX_use_PrivateKey(context, key.get()) != 1 || SSL_CTX_check_private_key(context) != 1) {
        Refused(settings.privateKey, "the key does not match " + settings.certificate);
    }

    if (SSL_CTX_load_verify_locations(context, settings.clientCaFile.c_str(), nullptr) != 1) {
        Refused(settings.clientCaFile, "no PEM CA certificate can be read");
    }
    // No list of acceptable CAs is sent: a host shows whatever certificate
    // it has, and the log records which one was refused.
    if (!settings.clientCrlFile.empty()) {
        X509_STORE* store = SSL_CTX_get_cert_store(context);
        X509_LOOKUP* lookup = X509_STORE_add_lookup(store, X509_LOOKUP_file());
        if (lookup == nullptr || X509_load_crl_file(lookup, settings.clientCrlFile.c_str(), X509_FILETYPE_PEM) <= 0) {
            Refused(settings.clientCrlFile, "no PEM CRL can be read");
        }
        // The host's certificate is checked against its issuer's CRL; a
        // missing or expired CRL refuses it.
        X509_STORE_set_flags(store, X509_V_FLAG_CRL_CHECK);
    }
    SSL_CTX_set_verify(context, SSL_VERIFY_PEER | SSL_VERIFY_FAIL_IF_NO_PEER_CERT, LogRefusedCertificate);
    SSL_CTX_set_verify_depth(context, MAX_CHAIN_DEPTH);
    return tls;
}

}  // namespace orvauth_proxyd
