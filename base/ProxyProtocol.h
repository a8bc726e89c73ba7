// The protocol between the authentication-proxy client (libadproxy.so) and
// its service (orvauth-proxyd): HTTPS, TLS 1.2 or later, JSON bodies.
//
//   POST /v1/domain-information   {}
//     200 {"netbiosName": "...", "dnsName": "...", "sid": "S-1-5-21-..."}
//   POST /v1/machine-account      {"hostName": "node01.corp.example.test", "container": "OU=...,DC=..."}
//     200 {"accountName": "NODE01$", "accountDN": "CN=NODE01,...", "password": "<one-time password>"}
//
// "container" is optional. The client shows a certificate naming its host
// (a dNSName, else the CN), and may ask only for the account of that name.
// Every refusal or failure answers a 4xx or 5xx
// status with {"status": <Windows system error code>, "message": "...",
// "reason": "<class>"}: the class tells the host what kind of refusal it was
// (see namespace reason) and never carries directory details; those stay in
// the service's log. A refusal during the TLS handshake (no certificate, an
// unknown issuer, a revoked or expired certificate) has no body: the client
// learns its class from the TLS alert.
#pragma once

#include <orvane/authentication/PluginStatus.h>

#include <cstddef>
#include <cstdint>

namespace orvauth_proxy {

constexpr int DEFAULT_PORT = 9640;

constexpr const char DOMAIN_INFORMATION_PATH[] = "/v1/domain-information";
constexpr const char MACHINE_ACCOUNT_PATH[] = "/v1/machine-account";
constexpr const char JSON_CONTENT_TYPE[] = "application/json";

namespace field {
constexpr const char NETBIOS_NAME[] = "netbiosName";
constexpr const char DNS_NAME[] = "dnsName";
constexpr const char SID[] = "sid";
constexpr const char HOST_NAME[] = "hostName";
constexpr const char CONTAINER[] = "container";
constexpr const char ACCOUNT_NAME[] = "accountName";
constexpr const char ACCOUNT_DN[] = "accountDN";
constexpr const char PASSWORD[] = "password";
constexpr const char STATUS_CODE[] = "status";
constexpr const char MESSAGE[] = "message";
constexpr const char REASON[] = "reason";
}  // namespace field

// The classes of refusal a host may be told.
namespace reason {
constexpr const char REQUEST[] = "request";                  // malformed request or container
constexpr const char HOST_NAME[] = "host-name";              // the name is not this certificate's, or outside the allowed domains
constexpr const char NOT_SERVICE_ACCOUNT[] = "not-service-account";  // the account exists and is not the service's to reset
constexpr const char RATE_LIMIT[] = "rate-limit";            // too many requests: try later
constexpr const char DIRECTORY[] = "directory";              // the directory refused or cannot be reached
constexpr const char INTERNAL[] = "internal";                // anything else
}  // namespace reason

// Neither side accepts a body larger than this.
constexpr std::size_t MAX_BODY_BYTES = 4096;

// Statuses the service answers in its refusals; the client passes exactly
// these on and turns anything else into an internal error.
//   ACCESS_DENIED          the service may not create or reset that account
//   INVALID_PARAMETER      malformed request or container
//   BUSY                   too many account requests with one certificate: try later
//   INVALID_COMPUTER_NAME  host name unusable as a machine account
//   PASSWORD_RESTRICTION   the directory refused the one-time password
//   LOGON_FAILURE          the service's own directory credentials were refused
//   NO_SUCH_DOMAIN         the directory cannot be reached
constexpr std::uint32_t SERVICE_ACCESS_DENIED = ORVAUTH_STATUS_ACCESS_DENIED;
constexpr std::uint32_t SERVICE_INVALID_PARAMETER = ORVAUTH_STATUS_INVALID_PARAMETER;
constexpr std::uint32_t SERVICE_BUSY = 1061;  // ServiceCannotAcceptControlException
constexpr std::uint32_t SERVICE_INVALID_COMPUTER_NAME = ORVAUTH_STATUS_INVALID_COMPUTER_NAME;
constexpr std::uint32_t SERVICE_PASSWORD_RESTRICTION = ORVAUTH_STATUS_PASSWORD_RESTRICTION;
constexpr std::uint32_t SERVICE_LOGON_FAILURE = ORVAUTH_STATUS_LOGON_FAILURE;
constexpr std::uint32_t SERVICE_NO_SUCH_DOMAIN = ORVAUTH_STATUS_NO_SUCH_DOMAIN;
constexpr std::uint32_t SERVICE_INTERNAL_ERROR = ORVAUTH_STATUS_INTERNAL_ERROR;

// The class a refusal of that status belongs to unless its site names
// another.
inline const char* ReasonOfStatus(std::uint32_t status)
{
    switch (status) {
    case SERVICE_INVALID_PARAMETER:
        return reason::REQUEST;
    case SERVICE_INVALID_COMPUTER_NAME:
        return reason::HOST_NAME;
    case SERVICE_ACCESS_DENIED:
        return reason::NOT_SERVICE_ACCOUNT;
    case SERVICE_BUSY:
        return reason::RATE_LIMIT;
    case SERVICE_PASSWORD_RESTRICTION:
    case SERVICE_LOGON_FAILURE:
    case SERVICE_NO_SUCH_DOMAIN:
        return reason::DIRECTORY;
    default:
        return reason::INTERNAL;
    }
}

inline bool IsServiceStatus(std::uint64_t status)
{
    switch (status) {
    case SERVICE_ACCESS_DENIED:
    case SERVICE_INVALID_PARAMETER:
    case SERVICE_BUSY:
    case SERVICE_INVALID_COMPUTER_NAME:
    case SERVICE_PASSWORD_RESTRICTION:
    case SERVICE_LOGON_FAILURE:
    case SERVICE_NO_SUCH_DOMAIN:
    case SERVICE_INTERNAL_ERROR:
        return true;
    default:
        return false;
    }
}

}  // namespace orvauth_proxy
