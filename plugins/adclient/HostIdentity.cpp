#include "adclient/HostIdentity.h"

#include "common/Names.h"
#include "common/StatusError.h"

#include <cstring>
#include <netdb.h>
#include <unistd.h>

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
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || !IsPlainWord(name)) {
        orvauth_plugin::Fail(ORVAUTH_STATUS_INVALID_COMPUTER_NAME);
    }
    if (std::strchr(name, '.') != nullptr) {
        return name;
    }
    addrinfo hints{};
    hints.ai_flags = AI_CANONNAME;
    addrinfo* found = nullptr;
    std::string fqdn;
    if (::getaddrinfo(name, nullptr, &hints, &found) == 0) {
        if (found != nullptr && found->ai_canonname != nullptr) {
            fqdn = found->ai_canonname;
        }
        ::freeaddrinfo(found);
    }
    if (fqdn.find('.') == std::string::npos || !IsPlainWord(fqdn.c_str())) {
        orvauth_plugin::Fail(ORVAUTH_STATUS_INVALID_COMPUTER_NAME);
    }
    return fqdn;
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
