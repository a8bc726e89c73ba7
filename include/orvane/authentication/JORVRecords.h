// Records that travel from the authentication proxy to the directory client
// during a join through the proxy.
#pragma once

#include <string>

namespace orvane {
namespace authentication {

// What the proxy returns when it creates a machine account.
struct ComputerPrincipalInfo {
    std::string spareText;  // never filled by the library
    std::string createdValue1;
    std::string createdValue2;
};

namespace JORV {

struct DirectoryDomainInfo {
    std::string domainController;  // left empty by the library
    std::string netbiosName;
    std::string dnsName;
    std::string sid;  // the domain's security identifier, in the proxy's text form
};

struct MachineAccountInfo {
    std::string hostName;  // the host's short name
    std::string dnsDomainName;
    std::string spareText;  // never filled
    std::string createdValue1;
    std::string createdValue2;
};

}  // namespace JORV
}  // namespace authentication
}  // namespace orvane
