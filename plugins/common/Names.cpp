#include "common/Names.h"

#include <sstream>

namespace orvauth_plugin {

namespace {

std::vector<std::string> Split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    std::string::size_type start = 0;
    for (;;) {
        const std::string::size_type end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) {
            return parts;
        }
        start = end + 1;
    }
}

}  // namespace

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

std::string DomainComponents(const std::string& dnsDomain)
{
    std::string components;
    for (const std::string& label : Split(dnsDomain, '.')) {
        if (label.empty()) {
            continue;
        }
        components += (components.empty() ? "DC=" : ",DC=") + label;
    }
    return components;
}

std::string ContainerDN(const std::string& container, const std::string& dnsDomain)
{
    const std::string components = DomainComponents(dnsDomain);
    std::string relative;
    if (container.empty()) {
        relative = "CN=Computers";
    } else if (container.find('=') != std::string::npos) {
        if (ToUpper(container).find("DC=") != std::string::npos) {
            return container;
        }
        relative = container;
    } else {
        for (const std::string& unit : Split(container, '/')) {
            if (!unit.empty()) {
                relative = "OU=" + unit + (relative.empty() ? "" : "," + relative);
            }
        }
        if (relative.empty()) {
            relative = "CN=Computers";
        }
    }
    return components.empty() ? relative : relative + "," + components;
}

std::string MachineAccountDN(const std::string& hostName, const std::string& container,
                             const std::string& dnsDomain)
{
    return "CN=" + AccountNameForHost(hostName) + "," + ContainerDN(container, dnsDomain);
}

}  // namespace orvauth_plugin
