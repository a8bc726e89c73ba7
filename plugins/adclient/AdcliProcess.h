// Runs the adcli tool as a child process: no shell, a fixed minimal
// environment (its TMPDIR a private directory removed after the run), every
// descriptor but the three standard ones closed, a secret (when there is one)
// written to its standard input and nowhere else, and a hard bound on how
// long the plug-in waits before it kills and reaps it. The child never
// outlives the thread that started it: it is killed when that thread or its
// process dies, whatever the bound.
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace adclient {

struct AdcliOutcome {
    int exitStatus = -1;       // -1 when the child did not exit normally
    bool timedOut = false;     // the bound expired and the child was killed
    std::string output;        // standard output (--show-details, info)
    std::string diagnostics;   // standard error
};

// Runs "adcli <arguments>". secret, when not null, is written to the child's
// standard input followed by a line break (for --stdin-password); it is never
// copied. Throws orvauth_plugin::StatusError 1359 when the child cannot be
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
