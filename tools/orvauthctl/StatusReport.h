// status printed: aligned text for people, one JSON object for programs.
// A failed item shows its error in its place.
#pragma once

#include <orvane/host/Status.h>

#include <iosfwd>

namespace orvauthctl {

void PrintStatusText(std::ostream& out, const orvane::host::StatusReport& report);
void PrintStatusJson(std::ostream& out, const orvane::host::StatusReport& report);

}  // namespace orvauthctl
