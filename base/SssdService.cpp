#include "base/SssdService.h"

#include "base/BoundedProgram.h"
#include "base/LogText.h"

#include <chrono>
#include <cstring>
#include <sys/stat.h>
#include <vector>

namespace orvauth_base {

SssdOutcome ControlSssd(const SssdService& service, SssdAction action)
{
    constexpr std::chrono::seconds BOUND{120};
    SssdOutcome outcome;
    struct stat status;
    if (::stat(service.managerRunning.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) {
        return outcome;
    }
    outcome.managed = true;
    const char* verb = action == SssdAction::Restart ? "restart" : "stop";
    const std::string command = service.systemctl + " " + verb + " " + service.unit;
    const std::vector<std::string> environment{"PATH=/usr/sbin:/usr/bin:/sbin:/bin"};
    ProgramOutcome ran;
    if (const int error = RunBoundedProgram({service.systemctl, verb, service.unit}, &environment, BOUND, ran)) {
        outcome.failure = service.systemctl + ": " + std::strerror(error);
    } else if (ran.timedOut) {
        outcome.failure = "'" + command + "' did not finish within " + std::to_string(BOUND.count()) + " s";
    } else if (ran.status != 0) {
        outcome.failure = "'" + command + "' exited with status " + std::to_string(ran.status) +
                          (ran.Printed().empty() ? "" : ": " + LogText(ran.Printed(), 500));
    }
    return outcome;
}

}  // namespace orvauth_base
