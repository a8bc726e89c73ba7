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

// TLS 1.2 with forward secrecy and authenticated encryption only: ECDHE key
// exchange, AES-GCM or ChaCha20-Poly1305. TLS 1.3 keeps OpenSSL's suites,
// which all are.
constexpr const char TLS12_CIPHERS[] =
    "ECDHE-ECDSA-AES128-GCM-SHA256:ECDHE-RSA-AES128-GCM-SHA256:ECDHE-ECDSA-AES256-GCM-SHA384:"
    "ECDHE-RSA-AES256-GCM-SHA384:ECDHE-ECDSA-CHACHA20-POLY1305:ECDHE-RSA-CHACHA20-POLY1305";

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

std::string TimeText(const ASN1_TIME* time)
{
    std::unique_ptr<BIO, int (*)(BIO*)> out(BIO_new(BIO_s_mem()), BIO_free);
    char* data = nullptr;
    if (!out || time == nullptr || ASN1_TIME_print(out.get(), time) != 1) {
        return "(no date)";
    }
    const long length = BIO_get_mem_data(out.get(), &data);
    return std::string(data, static_cast<std::size_t>(length));
}

// A CRL out of its dates refuses every host it covers: the file is refused
// instead, so that a reload keeps the CRLs in use and a check says so.
void CheckCrlDates(const std::string& path)
{
    std::unique_ptr<BIO, int (*)(BIO*)> file(BIO_new_file(path.c_str(), "r"), BIO_free);
    if (!file) {
        Refused(path, "cannot be read");
    }
    while (X509_CRL* read = PEM_read_bio_X509_CRL(file.get(), nullptr, nullptr, nullptr)) {
        std::unique_ptr<X509_CRL, void (*)(X509_CRL*)> crl(read, X509_CRL_free);
        const ASN1_TIME* thisUpdate = X509_CRL_get0_lastUpdate(crl.get());
        const ASN1_TIME* nextUpdate = X509_CRL_get0_nextUpdate(crl.get());
        const std::string dates = " (valid from " + TimeText(thisUpdate) + " until " + TimeText(nextUpdate) + ")";
        std::unique_ptr<char, void (*)(void*)> issuer(X509_NAME_oneline(X509_CRL_get_issuer(crl.get()), nullptr, 0),
                                                      [](void* text) { OPENSSL_free(text); });
        const std::string which = "the CRL of " + std::string(issuer ? issuer.get() : "?");
        if (X509_cmp_current_time(thisUpdate) >= 0) {
            throw ConfigurationRefused(path + ": " + which + " is not valid yet" + dates);
        }
        if (nextUpdate == nullptr || X509_cmp_current_time(nextUpdate) <= 0) {
            throw ConfigurationRefused(path + ": " + which + " has expired" + dates +
                                       ": every host it covers would be refused; issue a fresh one and reload");
        }
    }
    ERR_clear_error();  // the end of the file
}

// Records in the log which certificate was refused, and why; the client
// learns only that the handshake failed. A chain that verifies still needs
// a host certificate at its end.
int LogRefusedCertificate(int verified, X509_STORE_CTX* store)
{
    const ClientIdentity offered = IdentityOf(X509_STORE_CTX_get_current_cert(store));
    if (verified == 1 && (X509_STORE_CTX_get_error_depth(store) != 0 || offered.fault.empty())) {
        return 1;
    }
    if (verified == 1) {
        syslog(LOG_WARNING, "client certificate refused: %s; %s", offered.fault.c_str(), offered.Described().c_str());
        X509_STORE_CTX_set_error(store, X509_V_ERR_INVALID_PURPOSE);
        return 0;
    }
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
    if (SSL_CTX_set_cipher_list(context, TLS12_CIPHERS) != 1) {
        Refused("the TLS 1.2 cipher list", "is not supported by this OpenSSL");
    }

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
        CheckCrlDates(settings.clientCrlFile);
        X509_STORE* store = SSL_CTX_get_cert_store(context);
        X509_LOOKUP* lookup = X509_STORE_add_lookup(store, X509_LOOKUP_file());
        if (lookup == nullptr || X509_load_crl_file(lookup, settings.clientCrlFile.c_str(), X509_FILETYPE_PEM) <= 0) {
            Refused(settings.clientCrlFile, "no PEM CRL can be read");
        }
        // Every certificate of the chain is checked against its issuer's
        // CRL (a revoked intermediate CA refuses what it issued); a
        // missing or expired CRL refuses the chain.
        X509_STORE_set_flags(store, X509_V_FLAG_CRL_CHECK | X509_V_FLAG_CRL_CHECK_ALL);
    }
    SSL_CTX_set_verify(context, SSL_VERIFY_PEER | SSL_VERIFY_FAIL_IF_NO_PEER_CERT, LogRefusedCertificate);
    SSL_CTX_set_verify_depth(context, MAX_CHAIN_DEPTH);
    return tls;
}

}  // namespace orvauth_proxyd
