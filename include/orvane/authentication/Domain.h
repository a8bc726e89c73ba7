// A directory domain's two names.
#pragma once

#include <orvane/authentication/Export.h>

#include <ostream>
#include <string>

namespace orvane {
namespace authentication {

class ORVAUTH_API Domain {
public:
    Domain() = default;
    Domain(const std::string& dnsName, const std::string& netbiosName)
        : dnsName(dnsName), netbiosName(netbiosName)
    {
    }

    std::string dnsName;
    std::string netbiosName;
};

// "DNS Name: <dns>, NetBIOS Name: <netbios>", "(unset)" for an empty name.
ORVAUTH_API std::ostream& operator<<(std::ostream& stream, const Domain& domain);

}  // namespace authentication
}  // namespace orvane
