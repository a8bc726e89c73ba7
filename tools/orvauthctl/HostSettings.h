// Global options that point the host platform layer at other files, for
// sandboxes and for embedders whose host keeps them elsewhere.
#pragma once

#include "Arguments.h"

#include <orvane/host/HostFiles.h>

#include <vector>

namespace orvauthctl {

const std::vector<OptionDefinition>& GlobalOptions();

// Hands the global options to the platform layer's settings of this
// process and returns the host files they name. Every value is checked
// before anything is set (UsageError), so a bad option changes nothing.
// --verify-proxy-cert is the one persistent setting: it is written to the
// configuration store's database.
orvane::host::HostFiles ApplyHostSettings(const ParsedArguments& global);

}  // namespace orvauthctl
