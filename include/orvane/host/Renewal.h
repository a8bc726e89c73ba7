// A new machine account password now, through the directory plug-in (its
// automatic renewal period is Logins::SetPasswordRenewal), and how old the
// current one is.
#pragma once

#include <orvane/host/Export.h>
#include <orvane/host/HostFiles.h>

#include <ctime>
#include <string>

namespace orvane::host {

// Renews the password of the joined domain's machine account and returns
// that domain's DNS name. Throws when the host is not joined or the plug-in
// fails; a failure leaves the old password and keytab working.
ORVAUTHHOST_API std::string RenewMachinePassword();

// What the host can know of its machine password without asking the
// directory: the host keytab's newest key for the machine account and when
// the keytab got it (at the join, a renew, or SSSD's own renewal), and when
// SSSD will renew it. SSSD checks the password's age on a period of its own
// whose first check comes a fixed delay plus a random one after SSSD
// starts: the time of that check is SSSD's, not known here.
struct MachinePasswordAge {
    int keyVersion = 0;
    std::time_t setAt = 0;
    int renewAfterDays = 30;  // SSSD's ad_maximum_machine_account_password_age; 0: never
    std::string checks = "86400:750";  // SSSD's ad_machine_account_password_renewal_opts
};

// Throws std::runtime_error when the host is not joined or the keytab
// cannot be read (it is root's).
ORVAUTHHOST_API MachinePasswordAge ReadMachinePasswordAge(const HostFiles& files);

// One line for people: "set 2026-12-07 16:40 UTC (3 days ago), key version
// 4; SSSD renews it when it is 30 days old: at its first check after
// 2027-01-06 16:40 UTC (...)".
ORVAUTHHOST_API std::string DescribePasswordAge(const MachinePasswordAge& age, std::time_t now);

}  // namespace orvane::host
