#include "ClientIdentity.h"

#include "base/ThumbprintText.h"

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/evp.h>
#include <openssl/x509v3.h>

#include <memory>

namespace orvauth_proxyd {

namespace {

std::string Text(const ASN1_STRING* value)
{
    return value == nullptr ? "" : std::string(reinterpret_cast<const char*>(ASN1_STRING_get0_data(value)),
                                               static_cast<std::size_t>(ASN1_STRING_length(value)));
}

// A name with an embedded NUL or outside printable ASCII names no host.
std::string Printable(std::string text)
{
    for (char c : text) {
        if (c <= 0x20 || c >= 0x7f) {
            return "";
        }
    }
    return text;
}

std::string DnsNameOf(X509* certificate)
{
    std::unique_ptr<GENERAL_NAMES, void (*)(GENERAL_NAMES*)> names(
        static_cast<GENERAL_NAMES*>(X509_get_ext_d2i(certificate, NID_subject_alt_name, nullptr, nullptr)),
        GENERAL_NAMES_free);
    for (int i = 0; names && i < sk_GENERAL_NAME_num(names.get()); ++i) {
        const GENERAL_NAME* name = sk_GENERAL_NAME_value(names.get(), i);
        if (name->type == GEN_DNS) {
            return Printable(Text(name->d.dNSName));
        }
    }
    X509_NAME* subject = X509_get_subject_name(certificate);
    const int at = X509_NAME_get_index_by_NID(subject, NID_commonName, -1);
    return at < 0 ? "" : Printable(Text(X509_NAME_ENTRY_get_data(X509_NAME_get_entry(subject, at))));
}

std::string SubjectOf(X509* certificate)
{
    std::unique_ptr<BIO, int (*)(BIO*)> out(BIO_new(BIO_s_mem()), BIO_free);
    if (!out || X509_NAME_print_ex(out.get(), X509_get_subject_name(certificate), 0, XN_FLAG_RFC2253) < 0) {
        return "";
    }
    char* data = nullptr;
    const long length = BIO_get_mem_data(out.get(), &data);
    return std::string(data, static_cast<std::size_t>(length));
}

std::string SerialOf(X509* certificate)
{
    std::unique_ptr<BIGNUM, void (*)(BIGNUM*)> number(ASN1_INTEGER_to_BN(X509_get0_serialNumber(certificate), nullptr),
                                                      BN_free);
    char* hex = number ? BN_bn2hex(number.get()) : nullptr;
    const std::string serial = hex != nullptr ? hex : "";
    OPENSSL_free(hex);
    return serial;
}

}  // namespace

std::string ClientIdentity::Described() const
{
    return "subject \"" + subject + "\" serial " + serial + " SHA-256 " + fingerprint;
}

ClientIdentity IdentityOf(X509* certificate)
{
    ClientIdentity identity;
    if (certificate == nullptr) {
        return identity;
    }
    identity.hostName = DnsNameOf(certificate);
    identity.subject = SubjectOf(certificate);
    identity.serial = SerialOf(certificate);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (X509_digest(certificate, EVP_sha256(), digest, &length) > 0) {
        identity.fingerprint = orvauth_base::ThumbprintText(digest, length);
    }
    return identity;
}

}  // namespace orvauth_proxyd
