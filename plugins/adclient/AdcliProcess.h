// Runs the adcli tool through the one program runner (base/BoundedProgram):
// a fixed minimal environment with its TMPDIR a private directory removed
// after the run, a secret (when there is one) on its standard input and
// nowhere else, killed at its bound and with the thread that started it.
#pragma once

#include "base/BoundedProgram.h"

#include <chrono>
#include <string>
#include <vector>

namespace adclient {

using AdcliOutcome = orvauth_base::ProgramOutcome;

// Runs "adcli <arguments>". secret, when not null, is written to the child's
// standard input followed by a line break (for --stdin-password); it is never
// copied. Throws orvauth_plugin::StatusError 1359 when adcli cannot be
// started.
AdcliOutcome RunAdcli(const std::vector<std::string>& arguments, const char* secret,
                      std::chrono::milliseconds bound);

// As RunAdcli, for any program: the one seam the runner's tests use.
AdcliOutcome RunProgram(const std::string& programPath, const std::vector<std::string>& arguments,
                        const char* secret, std::chrono::milliseconds bound);

// Removes the private TMPDIRs (/tmp/adclient-XXXXXX) of this user that no
// run holds any more: those of a process killed during a run.
void RemoveAbandonedScratchDirectories();

// "key = value" lines of adcli's --show-details and info output; the first
// line of a key counts.
std::string DetailValue(const std::string& output, const std::string& key);

}  // namespace adclient
