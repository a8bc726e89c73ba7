// Turns a failed adcli run into the status the library maps onto its
// exceptions. adcli's exit status says only which stage failed (3 logging
// in, 4 reaching the domain controller, 5 the domain or its configuration,
// 6 the directory refusing a change), so the decisive part is the diagnostic
// text it prints, which carries the Kerberos or LDAP reason verbatim.
#pragma once

#include <cstdint>
#include <string>

namespace adclient {

enum class AdcliCommand {
    Join,         // with an administrator's credentials
    MachineJoin,  // with the one-time password an authentication proxy set
    PresetJoin,   // with the one-time password of an account an administrator preset
    Delete,       // delete-computer
    TestJoin,
    Info,
};

struct AdcliFailure {
    std::uint32_t status;
    std::string reason;  // for the operator, when adcli's words say more than the status; else ""
};

// Status 0 for a successful run, and for a delete of an account the
// directory no longer has; otherwise the mapped status. Only a machine
// join may answer 1326, and only for an account the domain controller does
// not know yet: one an authentication proxy has just created may not have
// reached it, so trying again later can succeed. A refused password is
// never 1326, because the library retries that status eight times: an
// administrator's would lock the account, and a refused one-time password
// stays refused.
// askedContainer: the DN a join asked for (its --domain-ou), "" for the
// domain's default, named when the account exists in another one.
AdcliFailure ClassifyAdcliFailure(AdcliCommand command, int exitStatus, bool timedOut,
                                  const std::string& diagnostics, const std::string& askedContainer = "");

// ClassifyAdcliFailure's status, its reason noted for the library
// (orvauth_plugin::NoteFailureReason).
std::uint32_t ClassifyAdcliResult(AdcliCommand command, int exitStatus, bool timedOut,
                                  const std::string& diagnostics, const std::string& askedContainer = "");

}  // namespace adclient
