// Through adcli info (DNS SRV records _ldap._tcp.dc._msdcs.<domain>, then a
// connectionless LDAP ping of the controllers), pointed at the first
// controller that accepts a connection, so that a dead one listed first
// does not hold it up.
#include <orvane/host/Discovery.h>

#include "base/AsciiText.h"
#include "base/BoundedProgram.h"
#include "base/ControllerProbe.h"

#include <chrono>
#include <cstring>
#include <map>
#include <sstream>
#include <stdexcept>

#ifndef ORVAUTHHOST_ADCLI
#error "ORVAUTHHOST_ADCLI is set by the build"
#endif

namespace orvane::host {
namespace {

// With the probe's 2 s, a discovery ends within 15 s whatever the controllers do.
constexpr std::chrono::milliseconds PROBE_BOUND{2000};
constexpr std::chrono::seconds DISCOVERY_BOUND{12};

}  // namespace

DomainDiscovery DiscoverDomain(const std::string& domain)
{
    if (domain.empty() || domain[0] == '-' || domain.find_first_of(" \t\n/\\") != std::string::npos) {
        throw std::invalid_argument("'" + domain + "' is not a DNS domain name");
    }
    const orvauth_base::Controllers controllers = orvauth_base::ProbeControllers(domain, PROBE_BOUND);
    std::vector<std::string> argv{ORVAUTHHOST_ADCLI, "info"};
    if (!controllers.answering.empty()) {
        argv.push_back("--domain-controller=" + controllers.answering);
    }
    argv.insert(argv.end(), {"--", domain});
    orvauth_base::ProgramOutcome output;
    if (const int error = orvauth_base::RunBoundedProgram(argv, nullptr, DISCOVERY_BOUND, output)) {
        throw std::runtime_error(std::string("cannot run " ORVAUTHHOST_ADCLI ": ") + std::strerror(error));
    }
    std::map<std::string, std::string> found;
    std::string reason;
    std::istringstream lines(output.output);
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
    DomainDiscovery discovery;
    discovery.domain = found["domain-name"];
    // A domain's realm is its DNS name in capitals.
    discovery.realm = found["domain-realm"].empty() ? orvauth_base::ToUpper(discovery.domain) : found["domain-realm"];
    discovery.netbiosName = found["domain-short"];
    discovery.forest = found["domain-forest"];
    // adcli lists the controllers only when it looked them up itself.
    std::istringstream listed(found["domain-controllers"]);
    for (std::string name; listed >> name;) {
        discovery.controllers.push_back(name);
    }
    if (discovery.controllers.empty()) {
        discovery.controllers = controllers.listed;
    }
    discovery.answeringController = found["domain-controller"];
    discovery.controllerSite = found["domain-controller-site"];
    discovery.hostSite = found["computer-site"];
    return discovery;
}

}  // namespace orvane::host
