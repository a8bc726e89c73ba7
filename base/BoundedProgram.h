// Running a host program (adcli info, systemctl, pam-auth-update) for its
// exit status and what it prints, within a time bound. Shared by the tool
// and the directory client plug-in; each reports failures in its own way, so
// this code returns an errno value and throws nothing.
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace orvauth_base {

struct ProgramOutcome {
    std::string output;   // standard output and error, interleaved
    int status = -1;      // the exit status, or 128 + the signal that ended it
    bool timedOut = false;
};

// Runs argv[0], an absolute path, with argv and environment (null: the
// caller's), standard input from /dev/null. A program still running at bound
// is killed, and so is one whose calling thread dies first: none outlives
// its caller. Returns 0, or the errno value that kept the program from
// starting.
int RunBoundedProgram(const std::vector<std::string>& argv, const std::vector<std::string>* environment,
                      std::chrono::milliseconds bound, ProgramOutcome& outcome);

}  // namespace orvauth_base
