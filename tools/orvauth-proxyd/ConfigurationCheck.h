// What a start needs beyond a configuration that reads: the files it names
// usable and the listen address an address. Checked by --check-config and
// at every start and reload, so that a unit's start check catches what
// the start itself would stop at.
#pragma once

#include "ServiceConfiguration.h"

namespace orvauth_proxyd {

// Throws ConfigurationRefused saying which setting cannot be used and why.
void CheckStartable(const ServiceConfiguration& settings);

}  // namespace orvauth_proxyd
