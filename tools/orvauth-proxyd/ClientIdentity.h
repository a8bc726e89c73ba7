// What a client certificate says about the host presenting it, and what the
// log records about it.
#pragma once

#include <openssl/x509.h>

#include <string>

namespace orvauth_proxyd {

struct ClientIdentity {
    // The one dNSName of the subject alternative names, or, without that
    // extension, the one CN; empty when the certificate names no host.
    std::string hostName;
    // Why the certificate cannot identify a host ("" when it can): a name
    // that is missing, not unique or not printable, CA:TRUE, or an extended
    // key usage without clientAuth.
    std::string fault;
    std::string subject;      // one-line RFC 2253 form
    std::string serial;       // hexadecimal
    std::string fingerprint;  // SHA-256 of the DER certificate, "AB:CD:..."
    // For the log: subject, serial and fingerprint.
    std::string Described() const;
};

// Empty members for a null certificate.
ClientIdentity IdentityOf(X509* certificate);

}  // namespace orvauth_proxyd
