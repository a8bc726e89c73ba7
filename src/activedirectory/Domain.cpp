#include <orvane/authentication/Domain.h>

namespace orvane {
namespace authentication {

namespace {

const std::string& OrUnset(const std::string& name)
{
    static const std::string unset = "(unset)";
    return name.empty() ? unset : name;
}

}  // namespace

std::ostream& operator<<(std::ostream& stream, const Domain& domain)
{
    return stream << "DNS Name: " << OrUnset(domain.dnsName) << ", NetBIOS Name: " << OrUnset(domain.netbiosName);
}

}  // namespace authentication
}  // namespace orvane
