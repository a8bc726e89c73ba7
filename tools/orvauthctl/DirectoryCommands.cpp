// Requests the directory store forwards to its client: domain-controller,
// host-principal, canonical-name, preferred-dcs, smartcard.
#include "Command.h"

#include <orvane/host/Stores.h>

#include <cstdint>
#include <ostream>

namespace orvauthctl {
namespace {

using orvane::authentication::ActiveDirectoryStore;
using orvane::host::CreateDirectoryStore;

// A request that takes one name and answers one line.
template <std::string (ActiveDirectoryStore::*Ask)(const std::string&) const>
int AskOne(const Invocation& call)
{
    const std::unique_ptr<ActiveDirectoryStore> store = CreateDirectoryStore();
    call.out << (store.get()->*Ask)(call.arguments.operands[0]) << '\n';
    return EXIT_OK;
}

// What a set request stored: the label, then the items or "(none)".
template <typename Items>
int PrintStored(const Invocation& call, const char* label, const Items& items)
{
    call.out << label;
    for (const std::string& item : items) {
        call.out << ' ' << item;
    }
    call.out << (items.empty() ? " (none)\n" : "\n");
    return EXIT_OK;
}

int PreferredControllers(const Invocation& call)
{
    const std::vector<std::string>& operands = call.arguments.operands;
    std::deque<std::string> controllers(operands.begin() + 1, operands.end());
    CreateDirectoryStore()->SetPreferredDomainControllers(controllers);
    return PrintStored(call, "Preferred domain controllers:", controllers);
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
    std::vector<std::string> services(operands.begin() + 1, operands.end());
    CreateDirectoryStore()->SetSmartCardEnabledServices(services);
    return PrintStored(call, "Smart-card services:", services);
}

}  // namespace

std::vector<Command> DirectoryCommands()
{
    return {
        {"domain-controller", "<domain>", "show a domain controller of a domain",
         "Asks the directory client for any domain controller of <domain>. Prints an empty line when\n"
         "the client does not offer this request.",
         {}, 1, 1, AskOne<&ActiveDirectoryStore::GetDomainControllerForDomain>, {}},
        {"host-principal", "<domain>", "show the host's principal in a domain",
         "Asks the directory client for the host's principal name in <domain>. Prints an empty line\n"
         "when the client does not offer this request.",
         {}, 1, 1, AskOne<&ActiveDirectoryStore::GetHostPrincipalForDomain>, {}},
        {"canonical-name", "<user>", "show a user's canonical name",
         "Asks the directory client for the canonical form of the user name <user>. A client that\n"
         "does not offer this request leaves the name as given.",
         {}, 1, 1, AskOne<&ActiveDirectoryStore::ConvertCanonicalUsername>, {}},
        {"preferred-dcs", "set [<dc>...]", "set the preferred domain controllers",
         "Hands the directory client the domain controllers to prefer, in order; none clears the\n"
         "list. A client without this request accepts it and changes nothing.",
         {}, 1, SIZE_MAX, PreferredControllers, {"set"}},
        {"smartcard", "get | set [<service>...]", "show or set the smart-card enabled services",
         "'get' prints the services that accept smart-card logins, one per line; 'set' replaces them\n"
         "(none disables smart-card logins).",
         {}, 1, SIZE_MAX, SmartCard, {"get", "set"}},
    };
}

}  // namespace orvauthctl
