// discover: what a join would use, found without credentials (DNS SRV
// records, then a netlogon ping of the controllers). Changes nothing.
#include "Command.h"
#include "base/DomainDiscovery.h"

#include <chrono>
#include <cstring>
#include <ostream>

namespace orvauthctl {
namespace {

// Answers take milliseconds; a dead controller costs a 50 ms stagger and a
// black hole the whole bound.
constexpr std::chrono::milliseconds DISCOVERY_BOUND{2000};

int Discover(const Invocation& call)
{
    const std::string& domain = call.arguments.operands[0];
    if (domain.empty() || domain[0] == '-' || domain.find_first_of(" \t\n/\\") != std::string::npos) {
        throw UsageError("discover: '" + domain + "' is not a DNS domain name");
    }
    const orvauth_base::DomainDiscovery found = orvauth_base::DiscoverDomain(domain, DISCOVERY_BOUND);
    auto row = [&](const char* label, const std::string& value) {
        call.out << label << std::string(26 - std::strlen(label), ' ') << (value.empty() ? "(none)" : value) << '\n';
    };
    std::string listed;
    for (const std::string& name : found.controllers) {
        listed += (listed.empty() ? "" : " ") + name;
    }
    row("Domain:", found.domain);
    row("Realm:", found.realm);
    row("NetBIOS name:", found.netbiosName);
    row("Forest:", found.forest);
    row("Domain controllers:", listed);
    row("Answering controller:", found.controller);
    row("Its site:", found.controllerSite);
    row("This host's site:", found.site);
    return EXIT_OK;
}

}  // namespace

std::vector<Command> DiscoverCommands()
{
    return {
        {"discover", "<domain>", "show the domain controllers, site and names a join would use",
         "Finds the domain controllers of <domain> through the DNS SRV records\n"
         "_ldap._tcp.dc._msdcs.<domain> and asks them, without credentials, for the domain's\n"
         "NetBIOS name, realm, forest and sites (a netlogon ping, UDP port 389); the first\n"
         "answer counts. Changes nothing; gives up after 2 seconds.",
         {}, 1, 1, Discover},
    };
}

}  // namespace orvauthctl
