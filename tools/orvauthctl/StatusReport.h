// status printed for people: one screen of facts, or with verbose every
// item of the report (the host library's StatusJson is the one for programs).
#pragma once

#include <orvane/host/Status.h>

#include <iosfwd>

namespace orvauthctl {

void PrintStatusText(std::ostream& out, const orvane::host::StatusReport& report, bool verbose);

}  // namespace orvauthctl
