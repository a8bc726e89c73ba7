// One request to an authentication-proxy service over TLS, with the
// service's certificate pinned by its SHA-1 thumbprint.
#pragma once

#include "base/Secret.h"

#include <nlohmann/json.hpp>

#include <map>
#include <string>
#include <vector>

namespace orvauth_proxy {

using orvauth_base::ScrubStack;
using orvauth_base::SecretString;
using orvauth_base::Wipe;

// A JSON document whose strings, keys and parser buffers live in wiped memory.
using SecretJson = nlohmann::basic_json<std::map, std::vector, SecretString>;

struct ServerEndpoint {
    std::string address;     // IPv4 address, dotted-decimal
    int port = 0;
    bool verify = true;      // pin the certificate to thumbprint
    std::string thumbprint;  // "AB:CD:...": SHA-1 of the DER certificate, may be empty
    // The host's own certificate (PEM) and unencrypted key, shown to the
    // service; both empty: none is shown (the service then refuses).
    std::string clientCertificate;
    std::string clientKey;
    std::string settingsFile;  // where the two are set, for the operator's messages
};

// Refuses (1359, the reason in syslog) a key file that is not a regular
// file of mode 0600 or stricter owned by root or by the process's user.
// Returns the open descriptor.
int OpenClientKey(const std::string& path);

// Bounds of one request: connecting (TCP and the TLS handshake) and each
// read or write once connected.
constexpr int CONNECT_TIMEOUT_SECONDS = 5;
constexpr int IO_TIMEOUT_SECONDS = 20;

// Posts body to path and returns the service's JSON answer of a 200 reply.
// Throws orvauth_plugin::StatusError:
//   0x80090325 verification asked and the certificate is not the pinned one
//              (the handshake is abandoned: no request is sent);
//   5    the service refused the host's certificate in the handshake (its
//        TLS alert: none or an unknown one, revoked, expired);
//   1225 the connection is refused; 10060 a time-out;
//   1229 the connection broke, TLS failed, or the answer is not the protocol's;
//   the service's own status for a refusal it explains (ProxyProtocol.h);
//   1359 any other failure.
// Refusals note the reason the operator reads: what kind of refusal it was
// and what to do, never the directory's details.
SecretJson Post(const ServerEndpoint& server, const char* path, const std::string& body);

}  // namespace orvauth_proxy
