// The one reading of an organizational unit as an operator writes it: a
// path from the domain's top ("Servers/Hypervisors", "Sales, Europe/Hosts")
// or a distinguished name ("OU=Hypervisors,OU=Servers", with or without the
// domain's DC= part). Text holding '=' is a DN; anything else is a path.
#pragma once

#include <stdexcept>
#include <string>

namespace orvauth_base {

// An organizational unit that names nothing: an empty component, a leading
// or trailing separator, a DN component without "=". what() says which and
// how to write it.
struct InvalidOrganizationalUnit : std::invalid_argument {
    using std::invalid_argument::invalid_argument;
};

// "DC=corp,DC=example,DC=test" for corp.example.test ("" for "").
std::string DomainComponents(const std::string& dnsDomain);

// The DN of unit in dnsDomain: a path becomes OU= components, innermost
// first, each name escaped as RFC 4514 asks (Sales, Europe/Hosts is
// OU=Hosts,OU=Sales\, Europe); a DN is kept as written. Either is completed
// with the domain's components unless it already holds DC= components.
// An empty unit gives "" (the caller's default). Throws
// InvalidOrganizationalUnit.
std::string OrganizationalUnitDN(const std::string& unit, const std::string& dnsDomain);

}  // namespace orvauth_base
