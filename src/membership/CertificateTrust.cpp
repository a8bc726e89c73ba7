// Trusting authentication-proxy servers by the SHA-1 thumbprint of their
// certificate: one certificate for every proxy in the host configuration
// store, or one thumbprint per proxy in jorvservers.conf.
#include "base/ThumbprintText.h"
#include "config/ConfigPaths.h"
#include "membership/JORVPrerequisites.h"
#include "errors/LogText.h"

#include <orvane/authentication/ActiveDirectoryConfigStore.h>
#include <orvane/authentication/ActiveDirectoryStore.h>
#include <orvane/authentication/Configuration.h>
#include <orvane/authentication/Exceptions.h>
#include <orvane/authentication/JORVRecords.h>

#include <platform/QelConfigStore.h>

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <string>
#include <syslog.h>
#include <unistd.h>

namespace orvane {
namespace authentication {

namespace {

struct X509Deleter {
    void operator()(X509* certificate) const { X509_free(certificate); }
};
struct BioDeleter {
    void operator()(BIO* bio) const { BIO_free(bio); }
};
using X509Pointer = std::unique_ptr<X509, X509Deleter>;
using BioPointer = std::unique_ptr<BIO, BioDeleter>;

// A refused certificate leaves OpenSSL's reasons on this thread's error
// queue; they are ours, not the caller's.
[[noreturn]] void RefuseCertificate()
{
    ERR_clear_error();
    throw InvalidCertificateException();
}

// More than any certificate chain a proxy presents. Larger input is
// refused, and of a file no more than one byte past this is read, so a
// wrong file cannot fill the memory.
constexpr std::size_t MAX_CERTIFICATE_INPUT = 64 * 1024;

// Only the certificate is ever stored, but a private key must not pass
// through here at all: refusing it tells the operator that the file given
// is the wrong one, before the key is copied anywhere. Every PEM label of a
// private key ("PRIVATE KEY", "RSA PRIVATE KEY", "ENCRYPTED PRIVATE KEY",
// ...) ends this way.
void CheckCertificateInput(const char* data, std::size_t size)
{
    static const char KEY_LABEL_END[] = "PRIVATE KEY-----";
    if (size > MAX_CERTIFICATE_INPUT) {
        throw InvalidCertificateException("the input is larger than " + std::to_string(MAX_CERTIFICATE_INPUT) +
                                          " bytes");
    }
    if (std::search(data, data + size, KEY_LABEL_END, KEY_LABEL_END + sizeof KEY_LABEL_END - 1) != data + size) {
        throw InvalidCertificateException("the input holds a private key; give the certificate alone");
    }
}

X509Pointer ReadPem(BIO* bio)
{
    if (bio == nullptr) {
        throw NotEnoughMemoryException();
    }
    X509Pointer certificate(PEM_read_bio_X509(bio, nullptr, nullptr, nullptr));
    if (!certificate) {
        RefuseCertificate();
    }
    return certificate;
}

// Text as given by a caller: it ends at its first NUL, as a C string does.
X509Pointer ReadPemText(const char* text)
{
    BioPointer bio(BIO_new(BIO_s_mem()));
    if (bio) {
        BIO_puts(bio.get(), text);
    }
    return ReadPem(bio.get());
}

// A file's whole content, as reading the file itself would see it.
X509Pointer ReadPemContent(const SecretString& content)
{
    BioPointer bio(BIO_new_mem_buf(content.data(), static_cast<int>(content.size())));
    return ReadPem(bio.get());
}

// At most MAX_CERTIFICATE_INPUT + 1 bytes, enough to know that a file is
// too large. Read without a stdio buffer, into a buffer that is wiped when
// it goes: a refused file may hold a key.
SecretString ReadCertificateFile(const std::string& path)
{
    SecretString content(MAX_CERTIFICATE_INPUT + 1, '\0');
    const int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) {
        throw FileNotFoundException();
    }
    std::size_t got = 0;
    bool failed = false;
    while (got < content.size()) {
        const ssize_t count = read(descriptor, &content[got], content.size() - got);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        failed = count < 0;
        if (count <= 0) {
            break;
        }
        got += static_cast<std::size_t>(count);
    }
    close(descriptor);
    content.resize(got);
    if (failed) {
        throw InvalidCertificateException();
    }
    CheckCertificateInput(content.data(), content.size());
    return content;
}

// The certificate alone, re-encoded: whatever else the input held (other
// certificates, text around them) is not kept.
std::string PemOf(X509* certificate)
{
    BioPointer bio(BIO_new(BIO_s_mem()));
    if (!bio || PEM_write_bio_X509(bio.get(), certificate) != 1) {
        ERR_clear_error();
        throw NotEnoughMemoryException();
    }
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio.get(), &data);
    return std::string(data, static_cast<std::size_t>(size));
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
    return orvauth_base::ThumbprintText(digest, length);
}

void TrustThumbprintForServer(const std::string& thumbprint, const std::string& serverAddress)
{
    try {
        JORVThumbprintStore trusted(JORV_SERVERS_CONF_PATH);
        trusted.ImportThumbprint(thumbprint, serverAddress);
    } catch (const IOError& error) {
        // The exception only names the store; the log says what failed.
        syslog(LOG_ERR, "Cannot import the thumbprint into %s: %s", JORV_SERVERS_CONF_PATH,
               LogText(error.what()).c_str());
        throw InvalidThumbprintStoreException(JORV_SERVERS_CONF_PATH);
    }
}

void StoreCertificate(X509* certificate)
{
    const std::string thumbprint = Thumbprint(certificate);
    const std::string pem = PemOf(certificate);
    try {
        ActiveDirectoryConfigStore configStore;
        configStore.StoreAuthProxyCertInfo(thumbprint, pem);
    } catch (const QelConfigStore::ConfigStoreException& error) {
        syslog(LOG_ERR, "Failed to store thumbprint to Config Store: %s", LogText(error.what()).c_str());
        throw;
    }
}

}  // namespace

void ActiveDirectoryStore::ImportCertificateForJORV(const std::string& certificate)
{
    CheckCertificateInput(certificate.data(), certificate.size());
    StoreCertificate(ReadPemText(certificate.c_str()).get());
}

void ActiveDirectoryStore::ImportCertificateForJORV(const std::string& certificatePath,
                                                    const std::string& serverAddress)
{
    // With the configuration store one certificate serves every proxy, so
    // the address is not used there; it is still refused when it is not an
    // address, so that a typing error is not taken for success.
    RequireIpv4ServerAddress(serverAddress);
    const SecretString content = ReadCertificateFile(certificatePath);
    if (ActiveDirectoryConfigStore::IsConfigStoreEnabled()) {
        StoreCertificate(ReadPemText(content.c_str()).get());
        return;
    }
    const std::string thumbprint = Thumbprint(ReadPemContent(content).get());
    TrustThumbprintForServer(thumbprint, serverAddress);
}

}  // namespace authentication
}  // namespace orvane
