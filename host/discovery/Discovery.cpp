// The controller probe's discovery (base/DomainDiscovery.h): DNS SRV
// records, then a netlogon ping of the controllers, the first answer
// counting.
#include <orvane/host/Discovery.h>

#include "base/DomainDiscovery.h"

#include <chrono>
#include <stdexcept>

namespace orvane::host {

DomainDiscovery DiscoverDomain(const std::string& domain)
{
    // Answers take milliseconds; a dead controller costs a 50 ms stagger and
    // a black hole the whole bound.
    constexpr std::chrono::milliseconds BOUND{2000};
    if (domain.empty() || domain[0] == '-' || domain.find_first_of(" \t\n/\\") != std::string::npos) {
        throw std::invalid_argument("'" + domain + "' is not a DNS domain name");
    }
    const orvauth_base::DomainDiscovery found = orvauth_base::DiscoverDomain(domain, BOUND);
    return DomainDiscovery{found.domain,     found.realm,      found.netbiosName,    found.forest,
                           found.controllers, found.controller, found.controllerSite, found.site};
}

}  // namespace orvane::host
