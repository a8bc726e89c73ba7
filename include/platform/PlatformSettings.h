// In-process settings of the host platform layer, for hosts that keep their
// files elsewhere and for tests. Every function is thread-safe. Nothing is
// read from the environment. The authentication library only reads them (to
// find the hosts file and resolv.conf it puts back after a failed join).
#pragma once

#include <platform/PlatformExport.h>
#include <platform/QelConfigStore.h>

#include <cstdint>
#include <memory>
#include <string>

namespace OrvPlatform {
namespace Settings {

constexpr const char* DEFAULT_CONFIG_STORE_PATH = "/var/lib/orvane/configstore.db";
constexpr const char* DEFAULT_HOSTS_FILE_PATH = "/etc/hosts";
constexpr const char* DEFAULT_RESOLV_CONF_PATH = "/etc/resolv.conf";
constexpr const char* DEFAULT_ROUTE_TABLE_PATH = "/proc/net/route";
constexpr int DEFAULT_BUSY_TIMEOUT_MS = 5000;

// Database of the configuration store and of the advanced options. Its
// directory must exist; the file is created on first use.
ORVPLATFORM_API void SetConfigStorePath(const std::string& path);
ORVPLATFORM_API std::string GetConfigStorePath();

// How long a store waits for another process's lock before failing.
ORVPLATFORM_API void SetConfigStoreBusyTimeout(int milliseconds);
ORVPLATFORM_API int GetConfigStoreBusyTimeout();

// Makes ConfigStore::GetStore(ns) return `store` (a null store removes
// the installation, so GetStore opens the database again).
ORVPLATFORM_API void InstallConfigStore(const std::string& ns,
                                        std::shared_ptr<QelConfigStore::ConfigStore> store);

ORVPLATFORM_API void SetHostsFilePath(const std::string& path);
ORVPLATFORM_API std::string GetHostsFilePath();
ORVPLATFORM_API void SetResolvConfPath(const std::string& path);
ORVPLATFORM_API std::string GetResolvConfPath();
// Kernel IPv4 routing table in the /proc/net/route format.
ORVPLATFORM_API void SetRouteTablePath(const std::string& path);
ORVPLATFORM_API std::string GetRouteTablePath();

// The management interface by name (an empty name means the default-route
// interface again), or by name and a fixed IPv4 address that is reported
// without asking the kernel. An invalid address throws std::invalid_argument.
ORVPLATFORM_API void SetManagementInterface(const std::string& name);
ORVPLATFORM_API void SetManagementInterface(const std::string& name, const std::string& ipv4Address);

// Advanced options in the configured database, by dotted path
// ("UserVars.ActiveDirectoryVerifyJORVCertificate"). Setting replaces the
// option whatever its kind; removing an absent option is no error. A path
// with an empty part or characters other than letters, digits and '_'
// throws std::invalid_argument; database failures throw
// NodeCtl::Lib::NodeCtlException.
ORVPLATFORM_API void SetAdvancedIntegerOption(const std::string& path, int64_t value);
ORVPLATFORM_API void SetAdvancedStringOption(const std::string& path, const std::string& value);
ORVPLATFORM_API void RemoveAdvancedOption(const std::string& path);

// Turns a FeatureList switch on or off; index beyond the list throws
// std::out_of_range.
ORVPLATFORM_API void SetFeature(unsigned index, bool on);
ORVPLATFORM_API bool IsFeatureEnabled(unsigned index);

// Back to the defaults: default paths and busy timeout, no installed
// stores, default management interface, default feature switches. Files
// and databases are left alone.
ORVPLATFORM_API void Reset();

}  // namespace Settings
}  // namespace OrvPlatform
