#include "simproxy/Thumbprint.h"

#include "base/ThumbprintText.h"

#include <cctype>
#include <cstdio>
#include <memory>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

namespace orvauth_plugin {

bool IsThumbprintText(const std::string& text)
{
    if (text.size() != 59) {
        return false;
    }
    for (std::string::size_type i = 0; i < text.size(); ++i) {
        const bool separator = i % 3 == 2;
        if (separator ? text[i] != ':' : !std::isxdigit(static_cast<unsigned char>(text[i]))) {
            return false;
        }
    }
    return true;
}

std::string ThumbprintOfCertificateFile(const std::string& path)
{
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "re"), std::fclose);
    if (!file) {
        return "";
    }
    std::unique_ptr<X509, void (*)(X509*)> certificate(PEM_read_X509(file.get(), nullptr, nullptr, nullptr),
                                                        X509_free);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!certificate || X509_digest(certificate.get(), EVP_sha1(), digest, &length) <= 0) {
        return "";
    }
    return orvauth_base::ThumbprintText(digest, length);
}

}  // namespace orvauth_plugin
