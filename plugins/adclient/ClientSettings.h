// The plug-in's settings (adclient.conf in the configuration directory,
// base/AdClientSettings.h), read afresh by every operation that needs them:
// an edit by the operator, or by orvauthctl's join flags, counts from the
// next operation on.
#pragma once

#include <string>

namespace adclient {

struct ClientSettings {
    bool useLdaps = false;    // every directory connection over LDAPS (TCP 636)
    std::string description;  // the computer account's description; "" leaves it alone
    std::string defaultShell;   // for users without a loginShell; "": useradd's
    std::string homeDirectory;  // SSSD's fallback_homedir template; "": HOME_PATTERN
};

// The settings in the file at path; a missing file gives the defaults.
// Throws orvauth_plugin::StatusError: 87 with a reason naming the file and
// line for a line that is not a comment, blank or a known key with a value
// it takes; 5 or 1359 when the file cannot be read.
ClientSettings ReadClientSettings(const std::string& path);
// The settings of the file fixed when the plug-in was built (ADCLIENT_SETTINGS).
ClientSettings CurrentClientSettings();

// The port of the controllers' LDAP service the settings ask for.
inline const char* LdapPort(const ClientSettings& settings) { return settings.useLdaps ? "636" : "389"; }

}  // namespace adclient
