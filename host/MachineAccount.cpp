#include "MachineAccount.h"

#include "base/AsciiText.h"
#include "base/FileReplacement.h"
#include "base/HostIdentity.h"

#include <krb5.h>

#include <cstring>
#include <memory>
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
        } else if (key == "fallback_homedir") {
            account.homeDirectory = value;
        } else if (key == "default_shell") {
            account.defaultShell = value;
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

void NewestKey(const std::string& keytab, const std::string& principal, int& keyVersion, std::time_t& setAt)
{
    krb5_context context = nullptr;
    if (krb5_init_context(&context) != 0) {
        throw std::runtime_error("cannot initialise Kerberos to read " + keytab);
    }
    std::unique_ptr<std::remove_pointer_t<krb5_context>, void (*)(krb5_context)> owner(context, krb5_free_context);
    const auto failed = [&](krb5_error_code code) {
        const char* message = krb5_get_error_message(context, code);
        const std::string text = "cannot read the host keytab " + keytab + ": " + message;
        krb5_free_error_message(context, message);
        return std::runtime_error(text);
    };
    krb5_principal wanted = nullptr;
    krb5_keytab table = nullptr;
    krb5_kt_cursor cursor;
    krb5_error_code code = krb5_parse_name(context, principal.c_str(), &wanted);
    if (code != 0) {
        throw failed(code);
    }
    code = krb5_kt_resolve(context, ("FILE:" + keytab).c_str(), &table);
    code = code != 0 ? code : krb5_kt_start_seq_get(context, table, &cursor);
    if (code != 0) {
        krb5_free_principal(context, wanted);
        if (table != nullptr) {
            krb5_kt_close(context, table);
        }
        throw failed(code);
    }
    krb5_keytab_entry entry;
    while (krb5_kt_next_entry(context, table, &entry, &cursor) == 0) {
        if (krb5_principal_compare(context, entry.principal, wanted) && static_cast<int>(entry.vno) >= keyVersion) {
            keyVersion = static_cast<int>(entry.vno);
            setAt = entry.timestamp;
        }
        krb5_free_keytab_entry_contents(context, &entry);  // wipes the key
    }
    krb5_kt_end_seq_get(context, table, &cursor);
    krb5_kt_close(context, table);
    krb5_free_principal(context, wanted);
    if (keyVersion == 0) {
        throw std::runtime_error("the host keytab " + keytab + " holds no key of " + principal +
                                 ": join the host again (orvauthctl join)");
    }
}


}  // namespace orvane::host
