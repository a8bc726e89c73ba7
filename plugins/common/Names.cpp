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

UserName SplitUserName(const std::string& userName, const std::string& defaultDomain)
{
    UserName split{userName, defaultDomain};
    const std::string::size_type backslash = userName.find('\\');
    const std::string::size_type at = userName.rfind('@');
    if (backslash != std::string::npos) {
        split = {userName.substr(backslash + 1), userName.substr(0, backslash)};
    } else if (at != std::string::npos) {
        split = {userName.substr(0, at), userName.substr(at + 1)};
    }
    if (split.account.empty() || split.account.find_first_of("\\@") != std::string::npos) {
        Fail(ORVAUTH_STATUS_INVALID_ACCOUNT_NAME);
    }
    return split;
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
