// What a join to a domain would use, found without credentials: its
// controllers through DNS, then one that answers asked for the domain's
// names and sites. Changes nothing on the host.
#pragma once

#include <orvane/host/Export.h>

#include <string>
#include <vector>

namespace orvane::host {

struct DomainDiscovery {
    std::string domain;       // the domain's DNS name
    std::string realm;        // its Kerberos realm
    std::string netbiosName;
    std::string forest;
    std::vector<std::string> controllers;  // its domain controllers
    std::string answeringController;       // the one that answered
    std::string controllerSite;            // that controller's site
    std::string hostSite;                  // the site this host's address belongs to
};

// std::invalid_argument for text that is no DNS domain name; otherwise a
// std::runtime_error naming the cause and the fix when no controller of
// the domain answers (within 2 seconds in every case).
ORVAUTHHOST_API DomainDiscovery DiscoverDomain(const std::string& domain);

}  // namespace orvane::host
