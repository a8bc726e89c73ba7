#include "common/Names.h"

#include "common/StatusError.h"

#include <sstream>

namespace orvauth_plugin {

std::vector<std::string> SplitWords(const std::string& text)
{
    std::istringstream in(text);
    std::vector<std::string> words;
    std::string word;
    while (in >> word) {
        words.push_back(word);
    }
    return words;
}

std::string AccountNameForHost(const std::string& hostName)
{
    return ToUpper(hostName.substr(0, hostName.find('.')));
}

std::string ContainerDN(const std::string& container, const std::string& dnsDomain)
{
    if (container.empty()) {
        const std::string components = DomainComponents(dnsDomain);
        return components.empty() ? "CN=Computers" : "CN=Computers," + components;
    }
    try {
        return orvauth_base::OrganizationalUnitDN(container, dnsDomain);
    } catch (const orvauth_base::InvalidOrganizationalUnit& refused) {
        Fail(ORVAUTH_STATUS_INVALID_PARAMETER, refused.what());
    }
}

std::string MachineAccountDN(const std::string& hostName, const std::string& container,
                             const std::string& dnsDomain)
{
    return "CN=" + AccountNameForHost(hostName) + "," + ContainerDN(container, dnsDomain);
}

}  // namespace orvauth_plugin
