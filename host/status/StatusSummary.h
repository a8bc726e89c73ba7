// The facts of status's first screen, drawn from the gathered report and
// the host's own settings (who may log in, the host keytab).
#pragma once

#include <orvane/host/Status.h>

#include <string>

namespace orvane::host {

StatusSummary SummariseStatus(const StatusReport& report, const HostFiles& files);

// The parent of a distinguished name: what follows its first unescaped
// comma ("" for a name of one component).
std::string ParentDN(const std::string& dn);

}  // namespace orvane::host
