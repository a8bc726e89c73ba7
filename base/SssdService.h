// SSSD reads its configuration when it starts. Whoever changes it (the
// directory plug-in's sssd.conf on join and leave, the host integration's
// login settings) has the service restarted here, the one way: through the
// service manager when one runs, bounded in time, the outcome returned for
// the caller to report in its own way (a log line, a line for the operator).
#pragma once

#include <string>

namespace orvauth_base {

struct SssdService {
    std::string systemctl = "/usr/bin/systemctl";         // the service manager's control program
    std::string managerRunning = "/run/systemd/system";   // a directory that exists while it runs
    std::string unit = "sssd.service";
};

enum class SssdAction { Restart, Stop };

struct SssdOutcome {
    bool managed = false;  // false: no service manager runs, nothing was done
    std::string failure;   // empty: done; otherwise why not, for a message
};

// "systemctl restart" (which also starts a stopped SSSD) or "systemctl
// stop", within two minutes.
SssdOutcome ControlSssd(const SssdService& service, SssdAction action);

}  // namespace orvauth_base
