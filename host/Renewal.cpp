#include <orvane/host/Renewal.h>

#include "MachineAccount.h"
#include "logins/LoginSettingsFile.h"

#include <orvane/authentication/ActiveDirectoryProvider.h>
#include <orvane/host/Stores.h>

#include <krb5.h>

#include <memory>
#include <stdexcept>

namespace orvane::host {
namespace {

constexpr std::time_t DAY = 86400;

std::string UtcTime(std::time_t time)
{
    struct tm parts {};
    char text[32];
    ::gmtime_r(&time, &parts);
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M UTC", &parts);
    return text;
}

// The newest key of principal in keytab: its version and when it was written.
void NewestKey(const std::string& keytab, const std::string& principal, MachinePasswordAge& age)
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
        if (krb5_principal_compare(context, entry.principal, wanted) && static_cast<int>(entry.vno) >= age.keyVersion) {
            age.keyVersion = static_cast<int>(entry.vno);
            age.setAt = entry.timestamp;
        }
        krb5_free_keytab_entry_contents(context, &entry);  // wipes the key
    }
    krb5_kt_end_seq_get(context, table, &cursor);
    krb5_kt_close(context, table);
    krb5_free_principal(context, wanted);
    if (age.keyVersion == 0) {
        throw std::runtime_error("the host keytab " + keytab + " holds no key of " + principal +
                                 ": join the host again (orvauthctl join)");
    }
}

}  // namespace

std::string RenewMachinePassword()
{
    const std::string domain = JoinedDomain();
    if (domain.empty()) {
        throw std::runtime_error("this host is not joined to a domain: there is no machine password to renew");
    }
    CreateDirectoryStore()->Provider()->RenewMachinePassword();
    return domain;
}

MachinePasswordAge ReadMachinePasswordAge(const HostFiles& files)
{
    const std::string domain = JoinedDomain();
    if (domain.empty()) {
        throw std::runtime_error("this host is not joined to a domain: it has no machine password");
    }
    const MachineAccount account = ReadMachineAccount(files, domain);
    MachinePasswordAge age;
    NewestKey(account.keytab, account.principal, age);
    const SssdSnippet settings = LoginSettingsFile(files.sssdConf).Load();
    age.renewAfterDays = settings.passwordAgeDays >= 0 ? settings.passwordAgeDays : age.renewAfterDays;
    age.checks = settings.renewalChecks.empty() ? age.checks : settings.renewalChecks;
    return age;
}

std::string DescribePasswordAge(const MachinePasswordAge& age, std::time_t now)
{
    const std::time_t days = now > age.setAt ? (now - age.setAt) / DAY : 0;
    std::string text = "set " + UtcTime(age.setAt) + " (" +
                       (days == 0 ? std::string("today") : std::to_string(days) + (days == 1 ? " day ago" : " days ago")) +
                       "), key version " + std::to_string(age.keyVersion) + "; ";
    if (age.renewAfterDays == 0) {
        return text + "SSSD does not renew it (renew --every sets when)";
    }
    const size_t colon = age.checks.find(':');
    return text + "SSSD renews it when it is " + std::to_string(age.renewAfterDays) + " days old: at its first check after " +
           UtcTime(age.setAt + age.renewAfterDays * DAY) + " (it checks every " + age.checks.substr(0, colon) +
           " s, first " + age.checks.substr(colon + 1) + " s plus up to 300 s after it starts)";
}

}  // namespace orvane::host
