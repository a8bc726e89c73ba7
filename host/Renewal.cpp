#include <orvane/host/Renewal.h>

#include "MachineAccount.h"
#include "logins/LoginSettingsFile.h"

#include <orvane/authentication/ActiveDirectoryProvider.h>
#include <orvane/host/Stores.h>

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
    NewestKey(account.keytab, account.principal, age.keyVersion, age.setAt);
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
