// The bodies of the service's requests, read and checked before anything
// else is done with them.
#pragma once

#include "RequestChecks.h"

#include <string>

namespace orvauth_proxyd {

struct AccountRequest {
    std::string hostName;
    std::string container;  // empty when the request names none
};

// A JSON object with the text "hostName" and, optionally, the text
// "container", nothing else. Throws RequestFailure: 87 for any other body
// or a container that is no DN of OU=, CN= and DC= components (CheckContainer),
// 1210 for a host name that names no machine account (ComputerNameForHost).
AccountRequest ReadAccountRequest(const std::string& body);

// Any JSON object. Throws RequestFailure 87.
void ReadDomainInformationRequest(const std::string& body);

}  // namespace orvauth_proxyd
