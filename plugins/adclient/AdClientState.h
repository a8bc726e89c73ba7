// The plug-in's record of the host's membership and settings: one small
// key = value file in the state directory fixed at build time, beside the
// host keytab the joins write. Replaced atomically, readable by root only.
#pragma once

#include "common/StateFile.h"

#include <mutex>
#include <string>
#include <vector>

namespace adclient {

namespace keys {
constexpr const char* DOMAIN = "domain";              // DNS name of the joined domain
constexpr const char* NETBIOS = "netbios";            // its NetBIOS name
constexpr const char* REALM = "realm";                // its Kerberos realm
constexpr const char* DOMAIN_SID = "domain_sid";
constexpr const char* CONTROLLER = "controller";      // the controller the join used
constexpr const char* COMPUTER_NAME = "computer_name";  // the machine account, without '$'
constexpr const char* HOST_FQDN = "host_fqdn";
constexpr const char* PREFERRED_CONTROLLER = "preferred_controller";  // repeats, in order
constexpr const char* SMARTCARD_SERVICE = "smartcard_service";        // repeats, in order
}  // namespace keys

std::string StatePath();
std::string KeytabPath();

// The state file as it is now; a missing file reads as empty. Throws
// StatusError 1359 for a malformed file.
orvauth_plugin::StateFile LoadState();
// Creates the state directory (mode 0700) and the keytab's directory, and
// missing parents (0755). Throws StatusError 5 when that is not allowed.
void PrepareDirectories();
// Writes it back, creating the state directory (mode 0700) when needed.
// Throws StatusError 5 when that is not allowed.
void SaveState(const orvauth_plugin::StateFile& state);

bool IsJoined(const orvauth_plugin::StateFile& state);
// Removes every membership key; settings (preferred controllers, smart-card
// services) stay.
void ForgetMembership(orvauth_plugin::StateFile& state);

// Every read-modify-write of the state file, and every join and leave, holds
// this lock: operations arrive concurrently from the library's workers.
std::mutex& StateLock();

// The membership the state file records.
struct JoinedDomain {
    std::string domain, netbios, realm, sid, controller, computerName, hostFqdn;
    std::vector<std::string> preferred;
    // The controller every call should talk to: the first preferred one,
    // else the one the join used.
    std::string Controller() const { return preferred.empty() ? controller : preferred.front(); }
    // Whether name is the domain's DNS or NetBIOS name.
    bool Names(const std::string& name) const;
};

// Takes the state lock. Throws StatusError 2 when the host is not joined.
JoinedDomain RequireJoined();

}  // namespace adclient
