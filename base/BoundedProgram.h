// The one way this code runs a host program (adcli, systemctl,
// pam-auth-update): no shell, within a time bound, for its exit status and
// what it prints. Shared by the library, the tools and the plug-ins; each
// reports failures in its own way, so this code returns an errno value and
// throws nothing but std::bad_alloc.
//
// It runs inside management services' processes, so it leaves the process's
// signal dispositions alone and never waits without a bound:
// - the program gets its own process group, with standard input a pipe
//   (the secret, if any, then end of file), standard output and standard
//   error two other pipes, and no other descriptor of the caller;
// - at the bound the group gets SIGTERM, and SIGKILL a short grace later;
//   when the program ends, whatever it left running in its group is killed;
// - the program dies with the thread that started it (PR_SET_PDEATHSIG), so
//   none outlives a caller that is killed during the run;
// - the call returns within the bound plus about a second, whatever the
//   program does with its descriptors or signals.
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace orvauth_base {

struct ProgramOutcome {
    std::string output;      // standard output (its first 64 KiB)
    std::string errors;      // standard error (its first 64 KiB)
    int status = -1;         // the exit status; -1 when it did not exit
    int signal = 0;          // the signal that ended it, or 0
    bool timedOut = false;   // still running at the bound, and killed
    // Everything it printed, standard output first: for messages.
    std::string Printed() const { return output + errors; }
};

// Runs argv[0], an absolute path, with argv and environment (null: the
// caller's). secret, when not null, is written to the program's standard
// input followed by a line break, straight from the caller's memory: the
// runner makes no copy of it. Returns 0, or the errno value that kept the
// program from starting (outcome then says nothing).
int RunBoundedProgram(const std::vector<std::string>& argv, const std::vector<std::string>* environment,
                      std::chrono::milliseconds bound, ProgramOutcome& outcome, const char* secret = nullptr);

}  // namespace orvauth_base
