// Which domain controller an adcli run talks to. adcli's own discovery asks
// the controllers one after the other and waits on each that drops packets
// (ten seconds and more when every one is gone); the probe asks them all at
// once, so a dead domain costs at most two and a half seconds: a second for
// DNS, when the dead controller is also the name server, and the probe's.
#pragma once

#include "base/ControllerProbe.h"

#include <chrono>
#include <string>
#include <vector>

namespace adclient {

// How long the controllers get to accept a connection: a live one does in
// a round trip.
constexpr std::chrono::milliseconds PROBE_BOUND{1500};

// The controller to use (`answering`) among those tried (`listed`): the
// operator's preferred controller when there is one; else the first of the
// domain's controllers DNS lists (or, when DNS lists none, `recorded`: the
// one the join used) that accepts a connection within PROBE_BOUND, on the
// port the operations use (TCP 389; 636 with use_ldaps, adclient.conf). Fails
// with status 1311 (no logon servers) and a reason naming the controllers
// tried; with 1355 (no such domain) and the DNS name asked when there were
// none.
orvauth_base::Controllers ControllerToUse(const std::string& domain, const std::vector<std::string>& preferred,
                                          const std::string& recorded = "");

}  // namespace adclient
