#include "adclient/HostIdentity.h"

#include "base/AsciiText.h"
#include "base/HostIdentity.h"
#include "common/Names.h"
#include "common/StatusError.h"

#include <fstream>
#include <map>

namespace adclient {

bool IsPlainWord(const char* text)
{
    if (text == nullptr || *text == '\0' || *text == '-') {
        return false;
    }
    for (const char* c = text; *c != '\0'; ++c) {
        if (static_cast<unsigned char>(*c) <= ' ' || *c == 0x7f) {
            return false;
        }
    }
    return true;
}

namespace {

// A shell-quoted value: "...", '...' or bare, backslash escapes inside
// double quotes and bare. "" when it holds a control character.
std::string Unquoted(const std::string& raw)
{
    std::string value;
    char quote = 0;
    for (std::size_t at = 0; at < raw.size(); ++at) {
        const char c = raw[at];
        if (quote == 0 && (c == '"' || c == '\'')) {
            quote = c;
        } else if (c == quote) {
            quote = 0;
        } else if (c == '\\' && quote != '\'' && at + 1 < raw.size()) {
            value += raw[++at];
        } else {
            value += c;
        }
    }
    for (char c : value) {
        if (static_cast<unsigned char>(c) < ' ' || c == 0x7f) {
            return "";
        }
    }
    return value;
}

// The NAME=value lines of a shell-style settings file (os-release(5),
// useradd's defaults), unquoted; the last one of a name wins, comments and
// other lines are skipped.
std::map<std::string, std::string> ShellAssignments(const std::string& path)
{
    std::map<std::string, std::string> assignments;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        line = orvauth_base::Trim(line);
        const std::string::size_type equals = line.find('=');
        if (line.empty() || line[0] == '#' || equals == std::string::npos || equals == 0) {
            continue;
        }
        assignments[line.substr(0, equals)] = Unquoted(line.substr(equals + 1));
    }
    return assignments;
}

}  // namespace

OperatingSystem ReadOsRelease(const std::string& path)
{
    std::map<std::string, std::string> release = ShellAssignments(path);
    return {release["NAME"], release["VERSION_ID"]};
}

std::string DefaultUserShell(const std::string& useraddDefaults)
{
    const std::string shell = ShellAssignments(useraddDefaults)["SHELL"];
    return !shell.empty() && shell.front() == '/' ? shell : "/bin/sh";
}

std::string LocalHostFqdn()
{
    orvauth_base::HostIdentity identity;
    orvauth_base::ReadHostIdentity(identity);
    for (const std::string& name : {identity.resolvedName, identity.hostName}) {
        if (name.find('.') != std::string::npos && IsPlainWord(name.c_str())) {
            return name;
        }
    }
    orvauth_plugin::Fail(ORVAUTH_STATUS_INVALID_COMPUTER_NAME);
}

std::string LoginName(const std::string& userName)
{
    std::string name = userName;
    const std::string::size_type backslash = name.find('\\');
    if (backslash != std::string::npos) {
        name = name.substr(backslash + 1);
    }
    const std::string::size_type at = name.find('@');
    if (at != std::string::npos) {
        name = name.substr(0, at) + "@" + orvauth_plugin::ToUpper(name.substr(at + 1));
    }
    if (name.empty() || name[0] == '@' || name.back() == '@' || !IsPlainWord(name.c_str()) ||
        name.find_first_of("\\", 0) != std::string::npos || name.find('@', at == std::string::npos ? 0 : at + 1) != std::string::npos) {
        orvauth_plugin::Fail(ORVAUTH_STATUS_INVALID_ACCOUNT_NAME);
    }
    return name;
}

}  // namespace adclient
