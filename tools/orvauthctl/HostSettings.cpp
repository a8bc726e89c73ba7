#include "HostSettings.h"

#include <orvane/authentication/ActiveDirectoryConfigStore.h>
#include <orvane/authentication/JORVProxy.h>

#include <platform/Ipv4Address.h>
#include <platform/PlatformSettings.h>

namespace orvauthctl {
namespace {

namespace Settings = OrvPlatform::Settings;
using orvane::authentication::ActiveDirectoryConfigStore;
using orvane::authentication::VERIFY_JORV_CERTIFICATE_OPTION;

struct ManagementInterface {
    std::string name;
    std::string address;  // empty: ask the kernel
};

ManagementInterface ParseManagementInterface(const std::string& value)
{
    size_t equals = value.find('=');
    ManagementInterface parsed{value.substr(0, equals), ""};
    if (equals != std::string::npos) {
        parsed.address = value.substr(equals + 1);
        if (!NodeCtl::Network::Ipv4Address::IsValidAddress(parsed.address)) {
            throw UsageError("'" + parsed.address + "' is not an IPv4 address (--management-interface)");
        }
    }
    if (parsed.name.empty()) {
        throw UsageError("--management-interface needs an interface name");
    }
    return parsed;
}

}  // namespace

const std::vector<OptionDefinition>& GlobalOptions()
{
    const orvane::host::HostFiles defaults = orvane::host::HostFiles::Defaults();
    static const std::vector<OptionDefinition> options = {
        {"config-store", "<db>", "host configuration store database\n(default " +
                                     std::string(Settings::DEFAULT_CONFIG_STORE_PATH) + ")"},
        {"hosts-file", "<path>", "hosts file to edit (default " + std::string(Settings::DEFAULT_HOSTS_FILE_PATH) + ")"},
        {"resolv-conf", "<path>",
         "resolver configuration to edit (default " + std::string(Settings::DEFAULT_RESOLV_CONF_PATH) + ")"},
        {"management-interface", "<name>[=<ipv4>]",
         "management interface, optionally with a fixed address\n(default: the interface of the default route)"},
        {"no-config-store", "", "do not record membership or the proxy certificate in the\nconfiguration store (turns feature switch 57 off)"},
        {"verify-proxy-cert", "0|1",
         "whether join-proxy checks the proxy's certificate; stored as\nUserVars.ActiveDirectoryVerifyJORVCertificate in the --config-store\ndatabase"},
        {"nsswitch-conf", "<path>", "name-service switch file for logins (default " + defaults.nsswitchConf + ")"},
        {"pam-dir", "<dir>", "directory of the PAM files for logins (default " + defaults.pamDirectory + ")"},
        {"sssd-conf", "<path>", "sssd.conf of the identity service, whose conf.d holds the tool's\nlogin settings (default " + defaults.sssdConf + ")"},
        {"state-dir", "<dir>", "where logins enable records what it added and status keeps\nthe directory's last answers (default " + defaults.stateDirectory + ")"},
        {"sudoers-dir", "<dir>", "sudo's drop-in directory, where logins admins puts its rules\n(default " + defaults.sudoersDirectory + ")"},
        {"version", "", "print the version and exit"},
        {"help", "", "print this help and exit"},
    };
    return options;
}

orvane::host::HostFiles ApplyHostSettings(const ParsedArguments& global)
{
    ManagementInterface management;
    if (global.Has("management-interface")) {
        management = ParseManagementInterface(global.Value("management-interface"));
    }
    std::string verify = global.Value("verify-proxy-cert");
    if (global.Has("verify-proxy-cert") && verify != "0" && verify != "1") {
        throw UsageError("--verify-proxy-cert takes 0 or 1, not '" + verify + "'");
    }
    for (const char* name : {"config-store", "hosts-file", "resolv-conf", "nsswitch-conf", "pam-dir", "sssd-conf",
                             "state-dir", "sudoers-dir"}) {
        if (global.Has(name) && global.Value(name).empty()) {
            throw UsageError("--" + std::string(name) + " needs a path");
        }
    }
    orvane::host::HostFiles files = orvane::host::HostFiles::Defaults();
    files.nsswitchConf = global.Value("nsswitch-conf", files.nsswitchConf);
    files.pamDirectory = global.Value("pam-dir", files.pamDirectory);
    files.sssdConf = global.Value("sssd-conf", files.sssdConf);
    files.stateDirectory = global.Value("state-dir", files.stateDirectory);
    files.sudoersDirectory = global.Value("sudoers-dir", files.sudoersDirectory);

    if (global.Has("config-store")) {
        Settings::SetConfigStorePath(global.Value("config-store"));
    }
    if (global.Has("hosts-file")) {
        Settings::SetHostsFilePath(global.Value("hosts-file"));
    }
    if (global.Has("resolv-conf")) {
        Settings::SetResolvConfPath(global.Value("resolv-conf"));
    }
    if (global.Has("no-config-store")) {
        Settings::SetFeature(ActiveDirectoryConfigStore::DOMAIN_RECORD_FEATURE, false);
    }
    if (!management.name.empty()) {
        if (management.address.empty()) {
            Settings::SetManagementInterface(management.name);
        } else {
            Settings::SetManagementInterface(management.name, management.address);
        }
    }
    if (global.Has("verify-proxy-cert")) {
        Settings::SetAdvancedIntegerOption(VERIFY_JORV_CERTIFICATE_OPTION, verify == "1" ? 1 : 0);
    }
    return files;
}

}  // namespace orvauthctl
