// Which client certificates name a host, and which handshakes ServerTlsContext completes:
// certificates, CRLs and client offers made with OpenSSL's API, handshakes run in memory.
#include "ClientIdentity.h"
#include "TlsContext.h"
#include "common/Files.h"

#include <boost/asio/ssl/context.hpp>
#include <gtest/gtest.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>

#include <sys/stat.h>

using namespace orvauth_proxyd;

namespace {

using Key = std::unique_ptr<EVP_PKEY, void (*)(EVP_PKEY*)>;
using Certificate = std::unique_ptr<X509, void (*)(X509*)>;
using Extensions = std::vector<std::pair<const char*, const char*>>;  // as openssl's configuration writes them
const Extensions CA = {{"basicConstraints", "critical,CA:TRUE"}};

Key NewKey(bool rsa = false) { return {rsa ? EVP_RSA_gen(2048) : EVP_EC_gen("P-256"), EVP_PKEY_free}; }

// Self-signed without an issuer.
Certificate Issue(EVP_PKEY* key, const std::vector<std::string>& names, const Extensions& extensions,
                  X509* issuer = nullptr, EVP_PKEY* issuerKey = nullptr)
{
    static long serial = 1;
    Certificate made(X509_new(), X509_free);
    X509* c = made.get();
    X509_set_version(c, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(c), ++serial);
    X509_gmtime_adj(X509_getm_notBefore(c), -3600);
    X509_gmtime_adj(X509_getm_notAfter(c), 86400);
    for (const auto& name : names) {
        X509_NAME_add_entry_by_NID(X509_get_subject_name(c), NID_commonName, MBSTRING_ASC,
                                   reinterpret_cast<const unsigned char*>(name.c_str()), -1, -1, 0);
    }
    X509_set_issuer_name(c, X509_get_subject_name(issuer != nullptr ? issuer : c));
    X509_set_pubkey(c, key);
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, issuer != nullptr ? issuer : c, c, nullptr, nullptr, 0);
    for (const auto& extension : extensions) {
        X509_EXTENSION* made = X509V3_EXT_nconf(nullptr, &context, extension.first, extension.second);
        X509_add_ext(c, made, -1);
        X509_EXTENSION_free(made);
    }
    X509_sign(c, issuerKey != nullptr ? issuerKey : key, EVP_sha256());
    return made;
}

template <typename T, typename Write>
std::string Pem(T* object, Write write)
{
    std::unique_ptr<BIO, int (*)(BIO*)> out(BIO_new(BIO_s_mem()), BIO_free);
    write(out.get(), object);
    char* data = nullptr;
    return std::string(data, static_cast<std::size_t>(BIO_get_mem_data(out.get(), &data)));
}

// A CRL of ca valid from `from` to `until` seconds from now.
std::string Crl(X509* ca, EVP_PKEY* key, X509* revoked, long from = -60, long until = 3600)
{
    std::unique_ptr<X509_CRL, void (*)(X509_CRL*)> crl(X509_CRL_new(), X509_CRL_free);
    X509_CRL_set_version(crl.get(), 1);
    X509_CRL_set_issuer_name(crl.get(), X509_get_subject_name(ca));
    std::unique_ptr<ASN1_TIME, void (*)(ASN1_TIME*)> time(X509_gmtime_adj(nullptr, from), ASN1_TIME_free);
    X509_CRL_set1_lastUpdate(crl.get(), time.get());
    if (revoked != nullptr) {
        X509_REVOKED* entry = X509_REVOKED_new();
        X509_REVOKED_set_serialNumber(entry, X509_get_serialNumber(revoked));
        X509_REVOKED_set_revocationDate(entry, time.get());
        X509_CRL_add0_revoked(crl.get(), entry);
    }
    X509_gmtime_adj(time.get(), until);
    X509_CRL_set1_nextUpdate(crl.get(), time.get());
    X509_CRL_sign(crl.get(), key, EVP_sha256());
    return Pem(crl.get(), PEM_write_bio_X509_CRL);
}

// True when the server completes a handshake with a client showing
// certificate and its issuer, offering only the TLS 1.2 suites given.
bool Handshake(SSL_CTX* server, X509* certificate, EVP_PKEY* key, X509* issuer, const char* suites = nullptr)
{
    std::unique_ptr<SSL_CTX, void (*)(SSL_CTX*)> context(SSL_CTX_new(TLS_client_method()), SSL_CTX_free);
    if (suites != nullptr) {
        SSL_CTX_set_max_proto_version(context.get(), TLS1_2_VERSION);
        SSL_CTX_set_cipher_list(context.get(), suites);
    }
    SSL_CTX_use_certificate(context.get(), certificate);
    SSL_CTX_use_PrivateKey(context.get(), key);
    SSL_CTX_add1_chain_cert(context.get(), issuer);
    std::unique_ptr<SSL, void (*)(SSL*)> client(SSL_new(context.get()), SSL_free), service(SSL_new(server), SSL_free);
    BIO *clientSide = nullptr, *serviceSide = nullptr;
    BIO_new_bio_pair(&clientSide, 0, &serviceSide, 0);
    SSL_set_bio(client.get(), clientSide, clientSide);
    SSL_set_bio(service.get(), serviceSide, serviceSide);
    SSL_set_connect_state(client.get());
    SSL_set_accept_state(service.get());
    int done = 0;
    for (int round = 0; round < 20 && done != 1; ++round) {  // a failed handshake stays failed
        SSL_do_handshake(client.get());
        done = SSL_do_handshake(service.get());
    }
    return done == 1;
}

}  // namespace

TEST(HostCertificate, TheOneNameOfTheAlternativesOrElseOfTheCommonNames)
{
    const Key key = NewKey();
    const struct {
        std::vector<std::string> commonNames;
        Extensions extensions;
        const char* host;  // "" when refused
    } cases[] = {
        {{"other"}, {{"subjectAltName", "DNS:node01.corp.test"}}, "node01.corp.test"},
        {{"node02.corp.test"}, {}, "node02.corp.test"},
        {{"node03.corp.test"}, {{"subjectAltName", "email:node03@corp.test"}}, ""},
        {{"node04.corp.test"}, {{"subjectAltName", "IP:192.0.2.4"}}, ""},
        {{}, {{"subjectAltName", "DNS:node05.corp.test,DNS:node06.corp.test"}}, ""},
        {{"node07.corp.test", "node08.corp.test"}, {}, ""},
        {{}, {}, ""},
        {{"node09 corp"}, {}, ""},
        {{"node10.corp.test"}, {{"basicConstraints", "CA:TRUE"}}, ""},
        {{"node11.corp.test"}, {{"extendedKeyUsage", "serverAuth"}}, ""},
        {{"node12.corp.test"}, {{"extendedKeyUsage", "serverAuth,clientAuth"}}, "node12.corp.test"},
    };
    for (const auto& c : cases) {
        const ClientIdentity identity = IdentityOf(Issue(key.get(), c.commonNames, c.extensions).get());
        EXPECT_EQ(c.host, identity.hostName) << identity.subject << ": " << identity.fault;
        EXPECT_NE(c.host[0] == '\0', identity.fault.empty()) << identity.subject;
    }
}

TEST(HostCertificate, ServiceRefusesRevokedChainsWeakSuitesAndStaleRevocationLists)
{
    orvauth_test::TempDir dir;
    const Key rootKey = NewKey(), middleKey = NewKey(), serviceKey = NewKey(true), hostKey = NewKey();
    const Certificate root = Issue(rootKey.get(), {"hosts root"}, CA);
    const Certificate middle = Issue(middleKey.get(), {"hosts intermediate"}, CA, root.get(), rootKey.get());
    const Certificate host = Issue(hostKey.get(), {"node01.corp.test"}, {}, middle.get(), middleKey.get());
    const Certificate caHost = Issue(hostKey.get(), {"node02.corp.test"}, CA, middle.get(), middleKey.get());
    ServiceConfiguration settings;
    settings.certificate = dir.File("service.pem");
    settings.privateKey = dir.File("service.key");
    settings.clientCaFile = dir.File("root.pem");
    settings.clientCrlFile = dir.File("crl.pem");
    orvauth_test::WriteFile(settings.certificate,
                            Pem(Issue(serviceKey.get(), {"proxy"}, {}).get(), PEM_write_bio_X509));
    orvauth_test::WriteFile(settings.privateKey, Pem(serviceKey.get(), [](BIO* out, EVP_PKEY* key) {
                                return PEM_write_bio_PrivateKey(out, key, nullptr, nullptr, 0, nullptr, nullptr);
                            }));
    chmod(settings.privateKey.c_str(), 0600);
    orvauth_test::WriteFile(settings.clientCaFile, Pem(root.get(), PEM_write_bio_X509));
    const std::string middleCrl = Crl(middle.get(), middleKey.get(), nullptr);

    orvauth_test::WriteFile(settings.clientCrlFile, Crl(root.get(), rootKey.get(), nullptr) + middleCrl);
    const auto tls = ServerTlsContext(settings);
    EXPECT_TRUE(Handshake(tls->native_handle(), host.get(), hostKey.get(), middle.get()));
    EXPECT_FALSE(Handshake(tls->native_handle(), caHost.get(), hostKey.get(), middle.get()));
    for (const char* suites : {"AES128-SHA", "AES256-GCM-SHA384", "AES128-SHA256", "ECDHE-RSA-AES128-SHA",
                               "ECDHE-RSA-AES128-GCM-SHA256", "ECDHE-RSA-CHACHA20-POLY1305"}) {
        const bool forwardSecretAead = std::strstr(suites, "ECDHE-RSA-AES128-GCM") != nullptr ||
                                       std::strstr(suites, "ECDHE-RSA-CHACHA20") != nullptr;
        EXPECT_EQ(forwardSecretAead, Handshake(tls->native_handle(), host.get(), hostKey.get(), middle.get(), suites))
            << suites;
    }

    orvauth_test::WriteFile(settings.clientCrlFile, Crl(root.get(), rootKey.get(), middle.get()) + middleCrl);
    EXPECT_FALSE(Handshake(ServerTlsContext(settings)->native_handle(), host.get(), hostKey.get(), middle.get()));

    for (const long from : {-7200, 3600}) {  // expired an hour ago, valid in an hour
        orvauth_test::WriteFile(settings.clientCrlFile, Crl(root.get(), rootKey.get(), nullptr, from, from + 3600));
        const char* said = from < 0 ? "has expired (valid from " : "is not valid yet (valid from ";
        try {
            ServerTlsContext(settings);
            ADD_FAILURE() << said;
        } catch (const ConfigurationRefused& refused) {
            EXPECT_NE(nullptr, std::strstr(refused.what(), said)) << refused.what();
        }
    }
}
