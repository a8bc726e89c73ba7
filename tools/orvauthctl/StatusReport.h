// status printed: text for people (one screen of facts, or with verbose
// every item of the report), one JSON object for programs holding both.
#pragma once

#include <orvane/host/Status.h>

#include <iosfwd>

namespace orvauthctl {

void PrintStatusText(std::ostream& out, const orvane::host::StatusReport& report, bool verbose);
void PrintStatusJson(std::ostream& out, const orvane::host::StatusReport& report);

}  // namespace orvauthctl
