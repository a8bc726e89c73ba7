// Who may have which account: the rules the service applies before and
// after it looks an account up, kept free of I/O so they can be read (and
// tested) as tables.
//
// A host proves its name with its client certificate and gets only the
// account of that name; the service touches only accounts it created for
// that very host (they carry ManagedMarker(host) in adminDescription),
// inside containers an operator allowed, and only while they are plain
// workstation trust accounts.
#pragma once

#include <string>
#include <vector>

namespace orvauth_proxyd {

// The value the service writes to adminDescription of every computer object
// it creates: the prefix and the host name the certificate proved, in lower
// case. Hosts of different domains can share a computer name
// (node05.a.example and node05.b.example are both NODE05$): the mark says
// which of them the account belongs to.
constexpr const char MANAGED_MARKER_PREFIX[] = "orvauth-proxyd: machine account of host ";
constexpr const char MANAGED_MARKER_ATTRIBUTE[] = "adminDescription";
std::string ManagedMarker(const std::string& hostName);

// True when the account's adminDescription values are exactly one mark, and
// it is the mark of hostName (ignoring case): only then may the service
// give the account a new password for that host.
bool IsMarkedForHost(const std::vector<std::string>& marks, const std::string& hostName);

// userAccountControl bits.
constexpr unsigned long UAC_WORKSTATION_TRUST = 0x1000;
// Any of these makes an account more than a member workstation: server
// trust (a DC), read-only DC, trusted for (constrained) delegation, a normal
// user and an interdomain trust.
constexpr unsigned long UAC_NOT_PLAIN_WORKSTATION = 0x2000 | 0x04000000 | 0x80000 | 0x1000000 | 0x200 | 0x800;

// True when userAccountControl describes a plain workstation trust account.
bool IsPlainWorkstationAccount(unsigned long userAccountControl);

// krbtgt, administrator and guest (any case): never a computer's name.
bool IsReservedComputerName(const std::string& computerName);

// True when the request's host name is the one the certificate carries,
// compared without regard to case. An empty certificate name matches
// nothing.
bool HostNameMatchesCertificate(const std::string& requested, const std::string& certificateName);

// Distinguished names compared as parsed DNs: attribute types and values
// without regard to case, escaping and spacing. False for text that is not
// a DN.
bool SameDN(const std::string& a, const std::string& b);

// True when dn lies directly in one of the containers.
bool IsDirectlyInAny(const std::string& dn, const std::vector<std::string>& containers);

}  // namespace orvauth_proxyd
