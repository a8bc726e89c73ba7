// What the service accepts from a client before it touches the directory.
#pragma once

#include "base/ProxyProtocol.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace orvauth_proxyd {

// A refusal or failure answered to the client with its status and its
// class (orvauth_proxy::reason), by default the status's; text goes to the
// log only.
struct RequestFailure : std::runtime_error {
    RequestFailure(std::uint32_t code, const std::string& text, const char* reasonClass = nullptr)
        : std::runtime_error(text),
          status(code),
          reason(reasonClass != nullptr ? reasonClass : orvauth_proxy::ReasonOfStatus(code))
    {
    }
    std::uint32_t status;
    const char* reason;
};

// The machine account's name for a host name ("node01.corp.example.test"
// or "node01"): the first label in upper case. Every label must be a DNS
// label of letters, digits and inner hyphens, the whole name at most 253
// characters, and the first label at most 15 characters (the directory's
// limit for computer names) and not all digits. Throws RequestFailure 1210.
std::string ComputerNameForHost(const std::string& hostName);

// Checks that container is a distinguished name (absolute, or relative to
// the domain) of OU=, CN= and DC= components only. Throws RequestFailure 87.
void CheckContainer(const std::string& container);

// The container's full DN inside the domain whose DN is domainDN. Throws
// RequestFailure 87 for a DN outside the domain.
std::string ContainerInDomain(const std::string& container, const std::string& domainDN);

// The labels of a DNS name of letters, digits and inner hyphens, at most
// 253 characters; none when name is not such a name.
std::vector<std::string> DnsLabels(const std::string& name);

}  // namespace orvauth_proxyd
