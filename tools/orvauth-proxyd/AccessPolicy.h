// Who may have which account: the rules the service applies before and
// after it looks an account up, kept free of I/O so they can be read (and
// tested) as tables.
//
// A host proves its name with its client certificate and gets only the
// account of that name, under the DNS suffixes an operator allowed; the
// service touches only accounts the directory says it owns, made for that
// very host (they carry ManagedMarker(host) in adminDescription and the
// host's name in dNSHostName), whose password nobody else set since the
// service did, inside containers an operator allowed, and only while they
// are plain workstation trust accounts.
#pragma once

#include <optional>
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

// What the service records in the description of each account whose
// password it set: the pwdLastSet and msDS-KeyVersionNumber the directory
// gave that set. description, because the directory lets an account's
// owner write it (the computer class grants its creator that), and
// neither the host itself nor other users; adminDescription needs rights
// an owner lacks.
constexpr const char PASSWORD_RECORD_PREFIX[] = "orvauth-proxyd: password set at pwdLastSet ";
constexpr const char PASSWORD_RECORD_ATTRIBUTE[] = "description";
std::string PasswordRecord(const std::string& pwdLastSet, const std::string& keyVersion);

// How long after the service set a password the host's own join may change
// it (the directory client replaces the one-time password at once).
constexpr unsigned long long JOIN_CHANGE_TICKS = 10ULL * 60 * 10000000;  // 10 minutes in 100 ns

// An existing account as the service reads it before giving it a password.
struct ExistingAccount {
    std::string dn;
    bool computer = false;
    unsigned long userAccountControl = 0;
    std::vector<std::string> marks;         // adminDescription
    std::vector<std::string> records;       // description
    std::vector<std::string> dnsHostNames;
    std::string ownerSid;                   // "" when the directory did not tell it
    std::string pwdLastSet;
    std::string keyVersion;                 // msDS-KeyVersionNumber
};

// Why the service must not give account a new password for hostName (for
// the log), or nothing when it may: a plain workstation account, owned by
// the service's own account serviceSid, marked for hostName, whose
// dNSHostName is hostName, directly in an allowed container, and whose
// password is the one the service recorded, or one change of it by the
// host's join within JOIN_CHANGE_TICKS (an account without a record, made
// by builds that kept none or whose record was never written, is taken as
// the service's last set).
std::optional<std::string> ReasonNotToReset(const ExistingAccount& account, const std::string& hostName,
                                            const std::string& serviceSid,
                                            const std::vector<std::string>& allowedContainers);

// A pwdLastSet value (100 ns since 1601) as "YYYY-MM-DD hh:mm:ss UTC (value)".
std::string PasswordTimeText(const std::string& pwdLastSet);

// True when hostName lies under one of the DNS suffixes (ignoring case),
// with at least one label of its own.
bool IsUnderDnsSuffix(const std::string& hostName, const std::vector<std::string>& suffixes);

// The name of the group that makes an account with these token groups (SIDs
// in text) an administrator or account operator: Domain Admins and
// Enterprise Admins of any domain (RIDs 512, 519), Administrators and
// Account Operators (S-1-5-32-544, S-1-5-32-548); "" for none.
std::string PrivilegedGroup(const std::vector<std::string>& tokenGroups);

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
