// A domain's controllers as DNS lists them, and which of them answers now,
// for the directory plug-in: adcli's own discovery pings the controllers DNS
// names one after the other and waits minutes on one that drops packets,
// though another would answer at once.
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace orvauth_base {

struct Controllers {
    std::vector<std::string> listed;  // DNS's _ldap._tcp.dc._msdcs SRV targets, by priority
    std::string answering;            // the first that accepted a connection, or empty
};

// The SRV name of a domain's controllers, or of those in one of its sites:
// _ldap._tcp[.<site>._sites].dc._msdcs.<domain>.
std::string ControllersServiceName(const std::string& domain, const std::string& site);

// What to tell the operator when DNS lists no controller of domain.
std::string NoControllerListed(const std::string& domain);

// The targets of the SRV records of `serviceName`, by priority; empty when
// DNS has none or does not answer (one try of a second per name server).
std::vector<std::string> ListedControllers(const std::string& serviceName);

// Connects to the LDAP port (TCP 389, or port) of every name at once; the
// first connection made within bound names the controller to use, else "".
// A name DNS cannot resolve is skipped.
std::string FirstAnswering(const std::vector<std::string>& names, std::chrono::milliseconds bound,
                           const char* port = "389");

// Asks DNS for the domain's controllers (one try of a second per name
// server) and connects to all of their LDAP ports at once; the first
// connection made within bound names the controller to use. Nothing listed or nothing answering leaves
// `answering` empty (the caller then lets adcli look for itself).
Controllers ProbeControllers(const std::string& domain, std::chrono::milliseconds bound);

}  // namespace orvauth_base
