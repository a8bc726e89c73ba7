// Directory names as the simulated domain spells them: case-insensitive
// comparison, upper-case account and realm names, and distinguished names
// built from a DNS domain name and a container.
#pragma once

#include "base/AsciiText.h"
#include "base/OrganizationalUnit.h"

#include <string>
#include <vector>

namespace orvauth_plugin {

using orvauth_base::DomainComponents;
using orvauth_base::EqualsIgnoringCase;
using orvauth_base::StartsWithIgnoringCase;
using orvauth_base::ToUpper;

// Words separated by blanks.
std::vector<std::string> SplitWords(const std::string& text);

// A user's name as typed: "DOMAIN\\account", "account@domain", or
// "account" alone, in defaultDomain.
struct UserName {
    std::string account;
    std::string domain;
};

// Splits userName; an empty account, or one still holding '\\' or '@',
// fails with status 1315 (invalid account name).
UserName SplitUserName(const std::string& userName, const std::string& defaultDomain);

// The first label of a host name, in upper case: the machine account's name.
std::string AccountNameForHost(const std::string& hostName);

// The distinguished name of container in dnsDomain, as
// orvauth_base::OrganizationalUnitDN reads it; an empty container is
// CN=Computers. A container that names nothing fails with status 87, the
// reason noted for the library.
std::string ContainerDN(const std::string& container, const std::string& dnsDomain);

// "CN=<account>," + ContainerDN(container, dnsDomain).
std::string MachineAccountDN(const std::string& hostName, const std::string& container,
                             const std::string& dnsDomain);

}  // namespace orvauth_plugin
