#include "base/OrganizationalUnit.h"

#include "base/AsciiText.h"

#include <cstring>
#include <vector>

namespace orvauth_base {

namespace {

[[noreturn]] void Refuse(const std::string& unit, const std::string& problem)
{
    throw InvalidOrganizationalUnit("The organizational unit '" + unit + "' " + problem +
                                    ": write it as a path from the domain's top (Servers/Hypervisors) or as a DN "
                                    "(OU=Hypervisors,OU=Servers)");
}

// A name as the value of a DN component (RFC 4514, section 2.4).
std::string EscapedValue(const std::string& name)
{
    std::string escaped;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        if (c == '\0') {
            escaped += "\\00";
            continue;
        }
        if (std::strchr("\"+,;<>\\", c) != nullptr || (i == 0 && (c == '#' || c == ' ')) ||
            (i + 1 == name.size() && c == ' ')) {
            escaped += '\\';
        }
        escaped += c;
    }
    return escaped;
}

std::string PathDN(const std::string& unit)
{
    if (unit.front() == '/') {
        Refuse(unit, "starts with a '/'");
    }
    if (unit.back() == '/') {
        Refuse(unit, "ends with a '/'");
    }
    std::string dn;
    std::string::size_type start = 0;
    for (;;) {
        const std::string::size_type end = unit.find('/', start);
        const std::string name = unit.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (Trim(name).empty()) {
            Refuse(unit, "has an empty component");
        }
        dn = "OU=" + EscapedValue(name) + (dn.empty() ? "" : "," + dn);
        if (end == std::string::npos) {
            return dn;
        }
        start = end + 1;
    }
}

// The attribute types of the DN's components, refusing empty components
// and components without a type or a value. Escapes are honoured; the DN
// itself is left as written.
std::vector<std::string> ComponentTypes(const std::string& unit)
{
    std::vector<std::string> types;
    std::string component;
    const auto finish = [&] {
        const std::string::size_type equals = component.find('=');
        if (Trim(component).empty()) {
            Refuse(unit, "has an empty component");
        }
        if (equals == std::string::npos || Trim(component.substr(0, equals)).empty() ||
            Trim(component.substr(equals + 1)).empty()) {
            Refuse(unit, "has a component that is not <type>=<value> ('" + component + "')");
        }
        types.push_back(Trim(component.substr(0, equals)));
        component.clear();
    };
    for (std::size_t i = 0; i < unit.size(); ++i) {
        if (unit[i] == '\\') {
            if (i + 1 == unit.size()) {
                Refuse(unit, "ends with a lone '\\'");
            }
            component += unit.substr(i, 2);
            ++i;
        } else if (unit[i] == ',') {
            finish();
        } else {
            component += unit[i];
        }
    }
    finish();
    return types;
}

}  // namespace

std::string DomainComponents(const std::string& dnsDomain)
{
    std::string components;
    std::string::size_type start = 0;
    while (start <= dnsDomain.size()) {
        std::string::size_type end = dnsDomain.find('.', start);
        if (end == std::string::npos) {
            end = dnsDomain.size();
        }
        if (end > start) {
            components += (components.empty() ? "DC=" : ",DC=") + dnsDomain.substr(start, end - start);
        }
        start = end + 1;
    }
    return components;
}

std::string OrganizationalUnitDN(const std::string& unit, const std::string& dnsDomain)
{
    if (unit.empty()) {
        return unit;
    }
    std::string dn;
    if (unit.find('=') == std::string::npos) {
        dn = PathDN(unit);
    } else {
        for (const std::string& type : ComponentTypes(unit)) {
            if (EqualsIgnoringCase(type, "DC")) {
                return unit;
            }
        }
        dn = unit;
    }
    const std::string components = DomainComponents(dnsDomain);
    return components.empty() ? dn : dn + "," + components;
}

}  // namespace orvauth_base
