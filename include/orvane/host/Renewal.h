// A new machine account password now, through the directory plug-in (its
// automatic renewal period is Logins::SetPasswordRenewal).
#pragma once

#include <orvane/host/Export.h>

#include <string>

namespace orvane::host {

// Renews the password of the joined domain's machine account and returns
// that domain's DNS name. Throws when the host is not joined or the plug-in
// fails; a failure leaves the old password and keytab working.
ORVAUTHHOST_API std::string RenewMachinePassword();

}  // namespace orvane::host
