#include "ClientIdentity.h"

#include "base/ThumbprintText.h"

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/evp.h>
#include <openssl/x509v3.h>

#include <cstdint>
#include <memory>
#include <vector>

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

// As RFC 6125 gives it: a subject alternative name extension, when
// present, is the only identity (an e-mail address or an IP address there
// does not let the CN speak); exactly one name, whichever holds it.
std::string HostNameOf(X509* certificate, std::string& fault)
{
    std::vector<std::string> names;
    int critical = 0;
    std::unique_ptr<GENERAL_NAMES, void (*)(GENERAL_NAMES*)> alternatives(
        static_cast<GENERAL_NAMES*>(X509_get_ext_d2i(certificate, NID_subject_alt_name, &critical, nullptr)),
        GENERAL_NAMES_free);
    const bool hasAlternatives = alternatives || critical != -1;  // -1: no such extension
    for (int i = 0; alternatives && i < sk_GENERAL_NAME_num(alternatives.get()); ++i) {
        const GENERAL_NAME* name = sk_GENERAL_NAME_value(alternatives.get(), i);
        if (name->type == GEN_DNS) {
            names.push_back(Text(name->d.dNSName));
        }
    }
    X509_NAME* subject = X509_get_subject_name(certificate);
    for (int at = -1; !hasAlternatives && (at = X509_NAME_get_index_by_NID(subject, NID_commonName, at)) >= 0;) {
        names.push_back(Text(X509_NAME_ENTRY_get_data(X509_NAME_get_entry(subject, at))));
    }
    const char* where = hasAlternatives ? "DNS names in its subject alternative names" : "common names";
    if (names.size() != 1) {
        fault = "it has " + std::to_string(names.size()) + " " + where + "; a host certificate has exactly one";
        return "";
    }
    if (Printable(names.front()).empty()) {
        fault = "its name is empty or not printable";
    }
    return Printable(names.front());
}

// As RFC 5280 gives it: a CA certificate is no host's, and an extended key
// usage, when present, must allow TLS client authentication.
void CheckUsage(X509* certificate, std::string& fault)
{
    const std::uint32_t flags = X509_get_extension_flags(certificate);
    if ((flags & EXFLAG_INVALID) != 0) {
        fault = "one of its extensions cannot be parsed";
    } else if ((flags & EXFLAG_CA) != 0) {
        fault = "it is a CA certificate (CA:TRUE)";
    } else if ((flags & EXFLAG_XKUSAGE) != 0 && (X509_get_extended_key_usage(certificate) & XKU_SSL_CLIENT) == 0) {
        fault = "its extended key usage lacks clientAuth";
    }
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
    identity.hostName = HostNameOf(certificate, identity.fault);
    if (identity.fault.empty()) {
        CheckUsage(certificate, identity.fault);
    }
    if (!identity.fault.empty()) {
        identity.hostName.clear();  // names no host, whatever it holds
    }
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
