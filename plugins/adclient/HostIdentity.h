// The names adcli and the directory need from the host and from callers.
#pragma once

#include <string>

namespace adclient {

// The host's fully qualified name, as the library's host-name check reads
// it (base/HostIdentity.h): the resolver's official name, or the host name
// when only that is dotted. Throws StatusError 1210 when neither is usable.
std::string LocalHostFqdn();

// A login name for adcli's --login-user: "NETBIOS\user" and "user" become
// "user"; "user@dns.name" becomes "user@DNS.NAME", the realm form. Throws
// StatusError 1315 for an empty or malformed name.
std::string LoginName(const std::string& userName);

// The distribution's name and version, for the computer account's
// operatingSystem and operatingSystemVersion: NAME and VERSION_ID of an
// os-release(5) file, unquoted; empty where the file has none, or a value
// with a control character.
struct OperatingSystem {
    std::string name;
    std::string version;
};
OperatingSystem ReadOsRelease(const std::string& path);

// The shell useradd gives a new user: SHELL in its defaults file
// (/etc/default/useradd), else its built-in /bin/sh.
std::string DefaultUserShell(const std::string& useraddDefaults);

// A name fit for one adcli argument or one state-file line: non-empty, no
// blanks or control characters, not starting with '-'.
bool IsPlainWord(const char* text);

}  // namespace adclient
