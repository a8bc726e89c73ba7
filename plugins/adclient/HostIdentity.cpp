#include "adclient/HostIdentity.h"

#include "base/HostIdentity.h"
#include "common/Names.h"
#include "common/StatusError.h"

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
