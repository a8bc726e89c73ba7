// What the plug-in asks the directory: of the joined domain over LDAP as the
// machine account (DirectorySession), and which controller serves a domain
// (adcli info). Failures are thrown as orvauth_plugin::StatusError.
#pragma once

#include "adclient/AdClientState.h"
#include "adclient/AdcliProcess.h"

#include <cstdint>
#include <string>
#include <vector>

namespace adclient {

struct TrustedDomain {
    std::string dnsName, netbiosName;
};

// Every trustedDomain object of the joined domain.
std::vector<TrustedDomain> TrustedDomains(const JoinedDomain& joined);

// The distinguished name of the host's machine account.
std::string MachineAccountDN(const JoinedDomain& joined);

// "operatingSystem=...", "operatingSystemVersion=...", "description=..."
// for those the host's machine account has.
std::vector<std::string> MachineAccountAttributes(const JoinedDomain& joined);

// "NETBIOS\account" with the directory's spelling of the account for a user
// of the joined domain; for a trusted domain, whose directory this host
// cannot read, its NetBIOS name and the name as given.
std::string CanonicalUsername(const JoinedDomain& joined, const std::string& userName);

// The host's principal as the joined domain or one it trusts knows it.
std::string HostPrincipal(const JoinedDomain& joined, const std::string& domainName);

// ORVAUTH_RELATION_JOINED_DOMAIN, _TRUSTED_DOMAIN or _NONE.
std::uint32_t TrustRelationship(const JoinedDomain& joined, const std::string& domainName);

// A controller of domainName: a preferred one when the host is joined to
// it, else the one adcli finds; with selector, the first whose name starts
// with it.
std::string AnyDomainController(AdcliRunner& adcli, const char* selector, const std::string& domainName);

}  // namespace adclient
