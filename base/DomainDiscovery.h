// What a join would use, found without credentials and without changing
// anything: the domain's controllers from DNS, and the facts one of them
// gives about itself and the domain in a netlogon ping. Costs a DNS query
// and a datagram each way when a controller answers; a controller that
// does not answer costs at most a short stagger before the next is asked.
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace orvauth_base {

struct DomainDiscovery {
    std::string domain;       // the DNS domain name, as the controller spells it
    std::string realm;        // the Kerberos realm: the DNS domain name in capitals
    std::string forest;
    std::string netbiosName;  // the domain's NetBIOS name
    std::string site;         // this host's site, as the controller sees its address
    std::string controller;   // the controller that answered
    std::string controllerSite;
    std::vector<std::string> controllers;  // DNS's list: this host's site's first, then the domain's, by priority
};

// Lists the controllers of `domain` (DNS SRV) and pings them in that order,
// 50 ms apart, repeating each ping after half a second, until the first
// valid answer or `bound`. Throws std::runtime_error naming what failed and
// what to check: no controller listed, none with an address, none answering.
DomainDiscovery DiscoverDomain(const std::string& domain, std::chrono::milliseconds bound);

}  // namespace orvauth_base
