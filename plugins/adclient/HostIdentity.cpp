#include "adclient/HostIdentity.h"

#include "base/HostIdentity.h"
#include "common/Names.h"
#include "common/StatusError.h"

#include <fstream>

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

// A shell-quoted os-release value: "...", '...' or bare, backslash escapes
// inside double quotes and bare.
std::string OsReleaseValue(const std::string& raw)
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

}  // namespace

OperatingSystem ReadOsRelease(const std::string& path)
{
    OperatingSystem system;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("NAME=", 0) == 0) {
            system.name = OsReleaseValue(line.substr(5));
        } else if (line.rfind("VERSION_ID=", 0) == 0) {
            system.version = OsReleaseValue(line.substr(11));
        }
    }
    return system;
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
