#include "RequestChecks.h"

#include "base/AsciiText.h"
#include "base/ProxyProtocol.h"

#include <ldap.h>

#include <algorithm>
#include <cctype>
#include <memory>
#include <strings.h>
#include <vector>

namespace orvauth_proxyd {

namespace {

constexpr std::size_t MAX_HOST_NAME = 253;
constexpr std::size_t MAX_LABEL = 63;
constexpr std::size_t MAX_COMPUTER_NAME = 15;
constexpr std::size_t MAX_CONTAINER = 1024;

[[noreturn]] void BadHost(const std::string& why) { throw RequestFailure(orvauth_proxy::SERVICE_INVALID_COMPUTER_NAME, why); }
[[noreturn]] void BadContainer(const std::string& why) { throw RequestFailure(orvauth_proxy::SERVICE_INVALID_PARAMETER, why); }

bool IsLabel(const std::string& label)
{
    if (label.empty() || label.size() > MAX_LABEL || label.front() == '-' || label.back() == '-') {
        return false;
    }
    return std::all_of(label.begin(), label.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
    });
}

// (attribute type, value) of each single-valued RDN, in DN order; throws
// for anything that is not such a DN.
std::vector<std::pair<std::string, std::string>> Components(const std::string& dn)
{
    LDAPDN parsed = nullptr;
    if (dn.empty() || dn.size() > MAX_CONTAINER || dn.find('\0') != std::string::npos ||
        ldap_str2dn(dn.c_str(), &parsed, LDAP_DN_FORMAT_LDAPV3 | LDAP_DN_PEDANTIC) != LDAP_SUCCESS ||
        parsed == nullptr) {
        if (parsed != nullptr) {
            ldap_dnfree(parsed);
        }
        BadContainer("the container is not a distinguished name");
    }
    std::unique_ptr<LDAPRDN, void (*)(LDAPDN)> owner(parsed, ldap_dnfree);
    std::vector<std::pair<std::string, std::string>> components;
    for (int i = 0; parsed[i] != nullptr; ++i) {
        if (parsed[i][0] == nullptr || parsed[i][1] != nullptr) {
            BadContainer("the container has a multi-valued component");
        }
        const LDAPAVA* ava = parsed[i][0];
        const std::string type = orvauth_base::ToUpper(std::string(ava->la_attr.bv_val, ava->la_attr.bv_len));
        const std::string value(ava->la_value.bv_val, ava->la_value.bv_len);
        if ((type != "OU" && type != "CN" && type != "DC") || value.empty() ||
            value.find('\0') != std::string::npos) {
            BadContainer("the container may name OU, CN and DC components only");
        }
        components.emplace_back(type, value);
    }
    if (components.empty()) {
        BadContainer("the container is empty");
    }
    return components;
}

bool HasDomainComponents(const std::vector<std::pair<std::string, std::string>>& components)
{
    return std::any_of(components.begin(), components.end(), [](const auto& c) { return c.first == "DC"; });
}

}  // namespace

std::vector<std::string> DnsLabels(const std::string& name)
{
    std::vector<std::string> labels;
    if (name.empty() || name.size() > MAX_HOST_NAME) {
        return labels;
    }
    for (std::size_t start = 0;;) {
        const std::size_t dot = name.find('.', start);
        labels.push_back(name.substr(start, dot == std::string::npos ? std::string::npos : dot - start));
        if (dot == std::string::npos) {
            break;
        }
        start = dot + 1;
    }
    if (!std::all_of(labels.begin(), labels.end(), IsLabel)) {
        labels.clear();
    }
    return labels;
}

std::string ComputerNameForHost(const std::string& hostName)
{
    if (hostName.empty() || hostName.size() > MAX_HOST_NAME) {
        BadHost("the host name is empty or longer than 253 characters");
    }
    const std::vector<std::string> labels = DnsLabels(hostName);
    if (labels.empty()) {
        BadHost("the host name is not made of DNS labels");
    }
    std::string name = labels.front();
    if (name.size() > MAX_COMPUTER_NAME) {
        BadHost("the host's first label is longer than 15 characters");
    }
    if (std::all_of(name.begin(), name.end(), [](unsigned char c) { return std::isdigit(c) != 0; })) {
        BadHost("the host's first label is all digits");
    }
    return orvauth_base::ToUpper(name);
}

void CheckContainer(const std::string& container) { Components(container); }

std::string ContainerInDomain(const std::string& container, const std::string& domainDN)
{
    const auto components = Components(container);
    if (!HasDomainComponents(components)) {
        return container + "," + domainDN;
    }
    const auto domain = Components(domainDN);
    const bool inside = components.size() > domain.size() &&
                        std::equal(domain.rbegin(), domain.rend(), components.rbegin(), [](const auto& a, const auto& b) {
                            return a.first == b.first && strcasecmp(a.second.c_str(), b.second.c_str()) == 0;
                        });
    if (!inside) {
        BadContainer("the container is not inside the domain");
    }
    return container;
}

}  // namespace orvauth_proxyd
