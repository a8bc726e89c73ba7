// The host's records in the domain's DNS: its name's A and AAAA records and,
// where the domain's DNS holds the reverse zone, a PTR record per address,
// written by secure dynamic update (GSS-TSIG) as the machine account with
// the host keytab.
//
// Registration is turned on for good in the tool's SSSD settings
// (dyndns_update, LoginAccess.h): SSSD then refreshes the records every
// DNS_REFRESH_SECONDS and when it starts, so they follow the host's
// addresses. SSSD makes its first update minutes after it starts, so
// turning registration on also registers at once here.
#pragma once

#include <orvane/host/Export.h>
#include <orvane/host/HostFiles.h>

#include <iosfwd>
#include <stdexcept>
#include <string>
#include <vector>

namespace orvane::host {

// The update could not be made; the message says why and what to do.
class ORVAUTHHOST_API DnsUpdateFailed : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Turns registration on (records written now, SSSD keeps them) or off
// (SSSD stops, the records are removed). Needs a joined host. Writes one
// line per thing done to report.
ORVAUTHHOST_API void SetDnsUpdate(const HostFiles& files, bool on, std::ostream& report);

// Whether the tool's SSSD settings have registration on.
ORVAUTHHOST_API bool DnsUpdateOn(const HostFiles& files);

// Removes the records while the machine account still exists (a leave
// that deletes it); nothing when registration is off.
ORVAUTHHOST_API void RemoveDnsRecords(const HostFiles& files, std::ostream& report);

// nsupdate's input for the host's name and addresses: its forward records
// replaced by the addresses (or deleted, addresses empty), and one script
// per reverse record (which fails on its own where there is no zone).
ORVAUTHHOST_API std::string ForwardUpdate(const std::string& hostName, const std::vector<std::string>& addresses);
ORVAUTHHOST_API std::string ReverseUpdate(const std::string& hostName, const std::string& address, bool add);

}  // namespace orvane::host
