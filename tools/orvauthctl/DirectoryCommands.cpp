// Requests the directory store forwards to its client: domain-controller,
// host-principal, canonical-name, preferred-dcs, smartcard.
#include "Command.h"
#include "StoreAccess.h"

#include <cstdint>
#include <ostream>

namespace orvauthctl {
namespace {

int DomainController(const Invocation& call)
{
    call.out << CreateDirectoryStore()->GetDomainControllerForDomain(call.arguments.operands[0]) << '\n';
    return EXIT_OK;
}

int HostPrincipal(const Invocation& call)
{
    call.out << CreateDirectoryStore()->GetHostPrincipalForDomain(call.arguments.operands[0]) << '\n';
    return EXIT_OK;
}

int CanonicalName(const Invocation& call)
{
    call.out << CreateDirectoryStore()->ConvertCanonicalUsername(call.arguments.operands[0]) << '\n';
    return EXIT_OK;
}

int PreferredControllers(const Invocation& call)
{
    const std::vector<std::string>& operands = call.arguments.operands;
    if (operands[0] != "set") {
        throw UsageError("unknown action '" + operands[0] + "' (expected: set)");
    }
    std::deque<std::string> controllers(operands.begin() + 1, operands.end());
    CreateDirectoryStore()->SetPreferredDomainControllers(controllers);
    call.out << "Preferred domain controllers:";
    for (const std::string& controller : controllers) {
        call.out << ' ' << controller;
    }
    call.out << (controllers.empty() ? " (none)\n" : "\n");
    return EXIT_OK;
}

int SmartCard(const Invocation& call)
{
    const std::vector<std::string>& operands = call.arguments.operands;
    if (operands[0] == "get") {
        if (operands.size() > 1) {
            throw UsageError("'smartcard get' takes no services");
        }
        for (const std::string& service : CreateDirectoryStore()->GetSmartCardEnabledServices()) {
            call.out << service << '\n';
        }
        return EXIT_OK;
    }
    if (operands[0] != "set") {
        throw UsageError("unknown action '" + operands[0] + "' (expected: get or set)");
    }
    std::vector<std::string> services(operands.begin() + 1, operands.end());
    CreateDirectoryStore()->SetSmartCardEnabledServices(services);
    call.out << "Smart-card services:";
    for (const std::string& service : services) {
        call.out << ' ' << service;
    }
    call.out << (services.empty() ? " (none)\n" : "\n");
    return EXIT_OK;
}

}  // namespace

std::vector<Command> DirectoryCommands()
{
    return {
        {"domain-controller", "<domain>", "show a domain controller of a domain",
         "Asks the directory client for any domain controller of <domain>. Prints an empty line when\n"
         "the client does not offer this request.",
         {}, 1, 1, DomainController},
        {"host-principal", "<domain>", "show the host's principal in a domain",
         "Asks the directory client for the host's principal name in <domain>. Prints an empty line\n"
         "when the client does not offer this request.",
         {}, 1, 1, HostPrincipal},
        {"canonical-name", "<user>", "show a user's canonical name",
         "Asks the directory client for the canonical form of the user name <user>. A client that\n"
         "does not offer this request leaves the name as given.",
         {}, 1, 1, CanonicalName},
        {"preferred-dcs", "set [<dc>...]", "set the preferred domain controllers",
         "Hands the directory client the domain controllers to prefer, in order; none clears the\n"
         "list. A client without this request accepts it and changes nothing.",
         {}, 1, SIZE_MAX, PreferredControllers},
        {"smartcard", "get | set [<service>...]", "show or set the smart-card enabled services",
         "'get' prints the services that accept smart-card logins, one per line; 'set' replaces them\n"
         "(none disables smart-card logins).",
         {}, 1, SIZE_MAX, SmartCard},
    };
}

}  // namespace orvauthctl
