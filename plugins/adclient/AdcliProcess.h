// How the plug-in runs the adcli tool. The membership code and the look-ups
// call an AdcliRunner: the plug-in's is AdcliProgram, which runs adcli
// through the one program runner (base/BoundedProgram) with a fixed minimal
// environment, its TMPDIR a private directory removed after the run, and a
// secret (when there is one) on its standard input and nowhere else; the
// tests put a scripted adcli in its place.
#pragma once

#include "adclient/FailureClassifier.h"
#include "base/BoundedProgram.h"

#include <chrono>
#include <string>
#include <vector>

namespace adclient {

using AdcliOutcome = orvauth_base::ProgramOutcome;

class AdcliRunner {
public:
    virtual ~AdcliRunner() = default;

    // Runs "adcli <arguments>". secret, when not null, is written to its
    // standard input followed by a line break (for --stdin-password); it is
    // never copied. Throws orvauth_plugin::StatusError 1359 when adcli
    // cannot be started.
    virtual AdcliOutcome Run(const std::vector<std::string>& arguments, const char* secret,
                             std::chrono::milliseconds bound) = 0;

    // As Run, with a failure turned into its status and thrown as
    // StatusError after one log line of adcli's own words (which never hold
    // the password: it only ever arrives on standard input).
    AdcliOutcome Succeed(AdcliCommand command, const std::vector<std::string>& arguments, const char* secret,
                         std::chrono::milliseconds bound);
};

class AdcliProgram final : public AdcliRunner {
public:
    explicit AdcliProgram(std::string path) : path(std::move(path)) {}
    AdcliOutcome Run(const std::vector<std::string>& arguments, const char* secret,
                     std::chrono::milliseconds bound) override;

private:
    std::string path;
};

// Removes the private TMPDIRs (/tmp/adclient-XXXXXX) of this user that no
// run holds any more: those of a process killed during a run.
void RemoveAbandonedScratchDirectories();

// "key = value" lines of adcli's --show-details and info output; the first
// line of a key counts.
std::string DetailValue(const std::string& output, const std::string& key);

}  // namespace adclient
