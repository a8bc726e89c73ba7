#include "AtomicFile.h"
#include "SettingsState.h"
#include "TextLines.h"

#include <platform/PlatformSettings.h>
#include <platform/ZodCtl.h>

#include <arpa/inet.h>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ifaddrs.h>
#include <net/if.h>
#include <net/route.h>
#include <netinet/in.h>

namespace ZodCtl {
namespace Network {

namespace {

using namespace OrvPlatform::Detail;

bool ParseHex(const std::string& text, unsigned long& value)
{
    char* end = nullptr;
    errno = 0;
    value = std::strtoul(text.c_str(), &end, 16);
    return !text.empty() && *end == '\0' && errno == 0;
}

// The interface of the IPv4 default route with the lowest metric, from a
// table in the kernel's /proc/net/route layout.
std::string DefaultRouteInterface(const std::string& routeTable)
{
    std::string text;
    if (!ReadTextFile(routeTable, text)) {
        throw NetworkConfigException("Cannot read the routing table '" + routeTable + "': " + std::strerror(ENOENT));
    }
    std::string best;
    unsigned long bestMetric = ULONG_MAX;
    std::vector<std::string> lines = SplitLines(text);
    for (size_t i = 1; i < lines.size(); ++i) {  // the first line names the columns
        std::vector<std::string> fields = Words(lines[i], "");
        unsigned long destination, flags, metric, mask;
        if (fields.size() < 8 || !ParseHex(fields[1], destination) || !ParseHex(fields[3], flags) ||
            !ParseHex(fields[7], mask)) {
            continue;
        }
        metric = std::strtoul(fields[6].c_str(), nullptr, 10);
        if (destination == 0 && mask == 0 && (flags & RTF_UP) && (best.empty() || metric < bestMetric)) {
            best = fields[0];
            bestMetric = metric;
        }
    }
    if (best.empty()) {
        throw NetworkConfigException("No IPv4 default route in '" + routeTable +
                                     "'; the management interface is unknown");
    }
    return best;
}

}  // namespace

NetworkInterface::NetworkInterface(const std::string& name, const NodeCtl::Network::IpConfig& fixed)
    : name(name), hasFixed(true), fixed(fixed)
{
}

NetworkInterface::NetworkInterface(const std::string& name) : name(name), hasFixed(false) {}

NetworkInterface::~NetworkInterface() = default;

NodeCtl::Network::IpConfig NetworkInterface::GetIpConfig() const
{
    if (hasFixed) {
        return fixed;
    }
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) {
        throw NetworkConfigException(std::string("Cannot list the network interfaces: ") + std::strerror(errno));
    }
    bool found = false;
    uint32_t address = 0;
    for (ifaddrs* entry = list; entry != nullptr && !found; entry = entry->ifa_next) {
        if (entry->ifa_addr != nullptr && entry->ifa_addr->sa_family == AF_INET && name == entry->ifa_name) {
            sockaddr_in inet;
            std::memcpy(&inet, entry->ifa_addr, sizeof inet);
            address = ntohl(inet.sin_addr.s_addr);
            found = true;
        }
    }
    freeifaddrs(list);
    if (!found) {
        throw NetworkConfigException("Network interface '" + name + "' has no IPv4 address");
    }
    return NodeCtl::Network::IpConfig(NodeCtl::Network::Ipv4Address(address));
}

NetworkInfoImpl::NetworkInfoImpl() = default;

NetworkInterface* NetworkInfoImpl::GetManagementInterface()
{
    ManagementInterfaceSetting setting = ManagementInterface();
    if (setting.hasAddress) {
        return new NetworkInterface(
            setting.name, NodeCtl::Network::IpConfig(NodeCtl::Network::Ipv4Address(setting.address)));
    }
    std::string name =
        setting.name.empty() ? DefaultRouteInterface(OrvPlatform::Settings::GetRouteTablePath()) : setting.name;
    if (if_nametoindex(name.c_str()) == 0) {
        throw NetworkConfigException("Management interface '" + name + "' does not exist");
    }
    return new NetworkInterface(name);
}

}  // namespace Network
}  // namespace ZodCtl
