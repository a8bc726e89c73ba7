// discover: what a join would use, found without credentials; changes
// nothing on the host.
#include "Command.h"

#include <orvane/host/Discovery.h>

#include <cstring>
#include <ostream>
#include <stdexcept>

namespace orvauthctl {
namespace {

int Discover(const Invocation& call)
{
    orvane::host::DomainDiscovery found;
    try {
        found = orvane::host::DiscoverDomain(call.arguments.operands[0]);
    } catch (const std::invalid_argument& e) {
        throw UsageError(std::string("discover: ") + e.what());
    }
    auto row = [&](const char* label, const std::string& value) {
        call.out << label << std::string(26 - std::strlen(label), ' ') << (value.empty() ? "(none)" : value) << '\n';
    };
    std::string controllers;
    for (const std::string& name : found.controllers) {
        controllers += (controllers.empty() ? "" : " ") + name;
    }
    row("Domain:", found.domain);
    row("Realm:", found.realm);
    row("NetBIOS name:", found.netbiosName);
    row("Forest:", found.forest);
    row("Domain controllers:", controllers);
    row("Answering controller:", found.answeringController);
    row("Its site:", found.controllerSite);
    row("This host's site:", found.hostSite);
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
         {}, 1, 1, Discover, {}},
    };
}

}  // namespace orvauthctl
