// discover: what a join would use, found without credentials by adcli info
// (DNS SRV records _ldap._tcp.dc._msdcs.<domain>, then a connectionless LDAP
// ping of the controllers). Changes nothing on the host. adcli is pointed at
// the first controller that accepts a connection, so that a dead one listed
// first does not hold it up.
#include "Command.h"
#include "base/AsciiText.h"
#include "base/BoundedProgram.h"
#include "base/ControllerProbe.h"

#include <chrono>
#include <cstring>
#include <map>
#include <ostream>
#include <sstream>
#include <stdexcept>

namespace orvauthctl {
namespace {

// With the probe's 2 s, a discover ends within 15 s whatever the controllers do.
constexpr std::chrono::milliseconds PROBE_BOUND{2000};
constexpr std::chrono::seconds DISCOVERY_BOUND{12};

int Discover(const Invocation& call)
{
    const std::string& domain = call.arguments.operands[0];
    if (domain.empty() || domain[0] == '-' || domain.find_first_of(" \t\n/\\") != std::string::npos) {
        throw UsageError("discover: '" + domain + "' is not a DNS domain name");
    }
    const orvauth_base::Controllers controllers = orvauth_base::ProbeControllers(domain, PROBE_BOUND);
    std::vector<std::string> argv{ORVAUTHCTL_ADCLI, "info"};
    if (!controllers.answering.empty()) {
        argv.push_back("--domain-controller=" + controllers.answering);
    }
    argv.insert(argv.end(), {"--", domain});
    orvauth_base::ProgramOutcome output;
    if (const int error = orvauth_base::RunBoundedProgram(argv, nullptr, DISCOVERY_BOUND, output)) {
        throw std::runtime_error(std::string("cannot run " ORVAUTHCTL_ADCLI ": ") + std::strerror(error));
    }
    std::map<std::string, std::string> found;
    std::string reason;
    std::istringstream lines(output.Printed());
    for (std::string line; std::getline(lines, line);) {
        size_t equals = line.find(" = ");
        if (equals != std::string::npos) {
            found.emplace(line.substr(0, equals), line.substr(equals + 3));
        } else if (!line.empty() && line[0] != '[') {
            reason += (reason.empty() ? "" : "; ") + line;
        }
    }
    if (output.timedOut) {
        throw std::runtime_error("no answer about " + domain + " within " + std::to_string(DISCOVERY_BOUND.count()) +
                                 " s: check the host's DNS servers (/etc/resolv.conf)");
    }
    if (output.status != 0 || found.count("domain-name") == 0) {
        throw std::runtime_error("no domain controller of " + domain + " was found (" +
                                 (reason.empty() ? "adcli info failed" : reason) +
                                 "): check that the host's DNS servers (/etc/resolv.conf) answer for the domain");
    }
    // A domain's realm is its DNS name in capitals.
    const std::string realm = found["domain-realm"].empty() ? orvauth_base::ToUpper(found["domain-name"])
                                                            : found["domain-realm"];
    auto row = [&](const char* label, const std::string& value) {
        call.out << label << std::string(26 - std::strlen(label), ' ') << (value.empty() ? "(none)" : value) << '\n';
    };
    row("Domain:", found["domain-name"]);
    row("Realm:", realm);
    row("NetBIOS name:", found["domain-short"]);
    row("Forest:", found["domain-forest"]);
    std::string listed = found["domain-controllers"];  // adcli lists them only when it looked them up itself
    for (const std::string& name : listed.empty() ? controllers.listed : std::vector<std::string>{}) {
        listed += (listed.empty() ? "" : " ") + name;
    }
    row("Domain controllers:", listed);
    row("Answering controller:", found["domain-controller"]);
    row("Its site:", found["domain-controller-site"]);
    row("This host's site:", found["computer-site"]);
    return EXIT_OK;
}

}  // namespace

std::vector<Command> DiscoverCommands()
{
    return {
        {"discover", "<domain>", "show the domain controllers, site and names a join would use",
         "Finds the domain controllers of <domain> through the DNS SRV records\n"
         "_ldap._tcp.dc._msdcs.<domain> and asks one of them, without credentials, for the\n"
         "domain's NetBIOS name, realm, forest and sites (adcli info). Changes nothing; gives up\n"
         "after 15 seconds.",
         {}, 1, 1, Discover},
    };
}

}  // namespace orvauthctl
