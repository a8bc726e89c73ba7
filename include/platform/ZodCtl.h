// The host network configuration: the hosts file, the DNS search list and
// the management network interface.
//
// Files are edited in place of the host's own (defaults /etc/hosts and
// /etc/resolv.conf; see PlatformSettings.h) and always replaced atomically:
// the new text goes to a temporary file in the same directory, is synced,
// takes the old file's mode and owner, and is renamed over the old one. A
// symbolic link is followed, so the file it names is replaced and the link
// stays. Every failure throws NetworkConfigException naming the file or
// interface and the cause.
#pragma once

#include <platform/Ipv4Address.h>
#include <platform/PlatformExport.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace ZodCtl {
namespace Network {

class ORVPLATFORM_API NetworkConfigException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
    ~NetworkConfigException() override;
};

class ORVPLATFORM_API HostsFile {
public:
    // The configured hosts file (OrvPlatform::Settings::SetHostsFilePath).
    HostsFile();
    explicit HostsFile(const std::string& path);

    const std::string& GetPath() const { return path; }

    // Writes "address<TAB>name alias..." in place of the first line for
    // that address (other lines for the same address are dropped, so the
    // address has one entry), or appends it when there is none. Every other
    // line, comments and blank lines included, is kept as it was. A missing
    // file is created with mode 0644. The address must be IPv4 or IPv6 text;
    // name and aliases must be non-empty without blanks or '#'.
    void AddOrReplaceEntry(const std::string& address, const std::string& name,
                           const std::vector<std::string>& aliases);

private:
    std::string path;
};

class ORVPLATFORM_API DnsConfigImpl {
public:
    // The DNS configuration of a network stack; only "defaultTcpipStack"
    // exists. Reads the configured resolv.conf (a missing file is an empty
    // configuration).
    explicit DnsConfigImpl(const std::string& netStack);

    // Adds a domain to the search list in memory, unless the list already
    // holds it (compared without regard to case).
    void AddSearchDomain(const std::string& domain);

    // The search list as it will be saved.
    const std::vector<std::string>& GetSearchDomains() const { return searchDomains; }

    // Writes the search list back: the file is read afresh, the domains
    // added here are appended to its search list, and the single resulting
    // "search" line takes the place of the effective search/domain line;
    // every other line is kept. Nothing is written when nothing is missing.
    void SaveConfig();

private:
    std::string path;
    std::vector<std::string> searchDomains;
    std::vector<std::string> added;
};

class ORVPLATFORM_API NetworkInterface {
public:
    NetworkInterface(const std::string& name, const NodeCtl::Network::IpConfig& fixed);
    explicit NetworkInterface(const std::string& name);
    virtual ~NetworkInterface();

    const std::string& GetName() const { return name; }

    // The interface's first IPv4 address as the kernel reports it now (or
    // the fixed configuration it was made with). Throws
    // NetworkConfigException when the interface has no IPv4 address.
    virtual NodeCtl::Network::IpConfig GetIpConfig() const;

private:
    std::string name;
    bool hasFixed;
    NodeCtl::Network::IpConfig fixed;
};

class ORVPLATFORM_API NetworkInfoImpl {
public:
    NetworkInfoImpl();

    // The management interface, owned by the caller (delete it). It is the
    // interface configured with OrvPlatform::Settings::SetManagementInterface,
    // otherwise the interface of the IPv4 default route with the lowest
    // metric. Throws NetworkConfigException when there is no default route
    // or the interface does not exist.
    NetworkInterface* GetManagementInterface();
};

}  // namespace Network
}  // namespace ZodCtl
