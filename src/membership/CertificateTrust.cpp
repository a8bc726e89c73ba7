// Trusting authentication-proxy servers by the SHA-1 thumbprint of their
// certificate: one certificate for every proxy in the host configuration
// store, or one thumbprint per proxy in jorvservers.conf.
#include "config/ConfigPaths.h"
#include "membership/JORVPrerequisites.h"

#include <orvane/authentication/ActiveDirectoryConfigStore.h>
#include <orvane/authentication/ActiveDirectoryStore.h>
#include <orvane/authentication/Configuration.h>
#include <orvane/authentication/Exceptions.h>

#include <platform/QelConfigStore.h>

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <syslog.h>

namespace orvane {
namespace authentication {

namespace {

struct X509Deleter {
    void operator()(X509* certificate) const { X509_free(certificate); }
};
struct BioDeleter {
    void operator()(BIO* bio) const { BIO_free(bio); }
};
struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using X509Pointer = std::unique_ptr<X509, X509Deleter>;
using BioPointer = std::unique_ptr<BIO, BioDeleter>;
using FilePointer = std::unique_ptr<std::FILE, FileCloser>;

// A refused certificate leaves OpenSSL's reasons on this thread's error
// queue; they are ours, not the caller's.
[[noreturn]] void RefuseCertificate()
{
    ERR_clear_error();
    throw InvalidCertificateException();
}

X509Pointer ReadPemText(const std::string& pemText)
{
    BioPointer bio(BIO_new(BIO_s_mem()));
    if (!bio) {
        throw NotEnoughMemoryException();
    }
    // BIO_puts stops at the first NUL, like the C string it is given.
    BIO_puts(bio.get(), pemText.c_str());
    X509Pointer certificate(PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr));
    if (!certificate) {
        RefuseCertificate();
    }
    return certificate;
}

X509Pointer ReadPemFile(const std::string& path)
{
    FilePointer file(std::fopen(path.c_str(), "r"));
    if (!file) {
        throw FileNotFoundException();
    }
    X509Pointer certificate(PEM_read_X509(file.get(), nullptr, nullptr, nullptr));
    file.reset();
    if (!certificate) {
        RefuseCertificate();
    }
    return certificate;
}

// The SHA-1 digest of the certificate's DER encoding as upper-case hex byte
// pairs joined by ':', e.g. "0A:1B:...": 59 characters.
std::string Thumbprint(const X509* certificate)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (X509_digest(certificate, EVP_sha1(), digest, &length) <= 0) {
        RefuseCertificate();
    }
    static const char HEX_DIGITS[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(length * 3);
    for (unsigned int i = 0; i < length; ++i) {
        if (i != 0) {
            text += ':';
        }
        text += HEX_DIGITS[digest[i] >> 4];
        text += HEX_DIGITS[digest[i] & 0x0F];
    }
    return text;
}

void TrustThumbprintForServer(const std::string& thumbprint, const std::string& serverAddress)
{
    try {
        JORVThumbprintStore trusted(JORV_SERVERS_CONF_PATH);
        trusted.ImportThumbprint(thumbprint, serverAddress);
    } catch (const IOError&) {
        throw InvalidThumbprintStoreException(JORV_SERVERS_CONF_PATH);
    }
}

}  // namespace

void ActiveDirectoryStore::ImportCertificateForJORV(const std::string& certificate)
{
    const std::string thumbprint = Thumbprint(ReadPemText(certificate).get());
    try {
        ActiveDirectoryConfigStore configStore;
        configStore.StoreAuthProxyCertInfo(thumbprint, certificate);
    } catch (const QelConfigStore::ConfigStoreException& error) {
        syslog(LOG_ERR, "Failed to store thumbprint to Config Store: %s", error.what());
        throw;
    }
}

void ActiveDirectoryStore::ImportCertificateForJORV(const std::string& certificatePath,
                                                    const std::string& serverAddress)
{
    if (ActiveDirectoryConfigStore::IsConfigStoreEnabled()) {
        // One certificate serves every proxy here, so the address plays no
        // part.
        std::ifstream file(certificatePath);
        if (!file) {
            throw FileNotFoundException();
        }
        const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        ImportCertificateForJORV(text);
        return;
    }

    RequireIpv4ServerAddress(serverAddress);
    const std::string thumbprint = Thumbprint(ReadPemFile(certificatePath).get());
    TrustThumbprintForServer(thumbprint, serverAddress);
}

}  // namespace authentication
}  // namespace orvane
