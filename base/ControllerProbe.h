// Which of a domain's controllers answers now, for the directory plug-in and
// the tool's discover: adcli's own discovery pings the controllers DNS names
// one after the other and waits minutes on one that drops packets, though
// another would answer at once.
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace orvauth_base {

struct Controllers {
    std::vector<std::string> listed;  // DNS's _ldap._tcp.dc._msdcs SRV targets, by priority
    std::string answering;            // the first that accepted a connection, or empty
};

// Asks DNS for the domain's controllers (one try of a second per name
// server) and connects to all of their LDAP ports at once; the first
// connection made within bound names the controller to use. Nothing listed or nothing answering leaves
// `answering` empty (the caller then lets adcli look for itself).
Controllers ProbeControllers(const std::string& domain, std::chrono::milliseconds bound);

}  // namespace orvauth_base
