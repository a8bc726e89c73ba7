#include "MachineAccount.h"

#include "base/AsciiText.h"
#include "base/FileReplacement.h"
#include "base/HostIdentity.h"

#include <cstring>
#include <sstream>
#include <stdexcept>

namespace orvane::host {

MachineAccount ReadMachineAccount(const HostFiles& files, const std::string& domain)
{
    std::string text;
    if (const int error = orvauth_base::ReadWholeFile(files.sssdConf, text)) {
        throw std::runtime_error("cannot read " + files.sssdConf + ": " + std::strerror(error));
    }
    MachineAccount account;
    std::istringstream lines(text);
    bool inDomain = false;
    for (std::string line; std::getline(lines, line);) {
        line = orvauth_base::Trim(line);
        if (!line.empty() && line.front() == '[') {
            inDomain = line == "[domain/" + domain + "]";
            continue;
        }
        const size_t equals = line.find('=');
        if (!inDomain || equals == std::string::npos) {
            continue;
        }
        const std::string key = orvauth_base::Trim(line.substr(0, equals));
        const std::string value = orvauth_base::Trim(line.substr(equals + 1));
        if (key == "krb5_keytab") {
            account.keytab = value;
        } else if (key == "ldap_sasl_authid") {
            account.principal = value;
        } else if (key == "ad_hostname") {
            account.hostName = value;
        }
    }
    if (account.keytab.empty() || account.principal.empty()) {
        throw std::runtime_error(files.sssdConf + " names no host keytab or machine account for " + domain +
                                 ": join the host again (orvauthctl join)");
    }
    if (account.hostName.empty()) {
        orvauth_base::HostIdentity identity;
        orvauth_base::ReadHostIdentity(identity);
        account.hostName = identity.hostName.find('.') != std::string::npos ? identity.hostName
                                                                              : identity.shortName + "." + domain;
    }
    account.hostName = orvauth_base::ToLower(account.hostName);
    return account;
}

}  // namespace orvane::host
