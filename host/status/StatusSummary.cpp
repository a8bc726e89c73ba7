#include "status/StatusSummary.h"

#include "MachineAccount.h"
#include "base/AsciiText.h"

#include <orvane/host/IdMapping.h>
#include <orvane/host/Logins.h>

#include <algorithm>

namespace orvane::host {
namespace {

void AddLogins(const HostFiles& files, StatusSummary& summary)
{
    const LoginsStatus logins = Logins(files).Status({});
    summary.loginsEnabled = !logins.files.empty() &&
                            std::all_of(logins.files.begin(), logins.files.end(),
                                        [](const LoginFileState& file) { return file.state == "on"; });
    if (!logins.settingsError.empty()) {
        summary.permittedLogins = {"not known: " + logins.settingsError};
    } else {
        summary.permittedLogins = DescribeAccess(logins.settings.access);
        summary.dnsRegistration = logins.settings.dnsUpdate > 0;
        if (logins.settings.passwordAgeDays >= 0) {
            summary.renewAfterDays = logins.settings.passwordAgeDays;
        }
    }
    if (!logins.administratorsError.empty()) {
        summary.administrators = {"not known: " + logins.administratorsError};
    } else if (!logins.administrators.Empty()) {
        summary.administrators = DescribeAdministrators(logins.administrators);
    }
    try {
        summary.idMapping = IdMappingName(GetIdMapping(files));
    } catch (const std::exception& e) {
        summary.idMapping = std::string("not known: ") + e.what();
    }
}

}  // namespace

std::string ParentDN(const std::string& dn)
{
    for (size_t i = 0; i < dn.size(); ++i) {
        if (dn[i] == '\\') {
            ++i;  // the escaped character is part of the value
        } else if (dn[i] == ',') {
            return dn.substr(i + 1);
        }
    }
    return "";
}

StatusSummary SummariseStatus(const StatusReport& report, const HostFiles& files)
{
    StatusSummary summary;
    const DirectoryStatus& directory = report.directory;
    const auto& configuration = directory.configuration.value;
    summary.cachedSince = directory.cachedSince;
    summary.joined = directory.loadError.empty() && directory.configuration.ok &&
                     !configuration.activeDomain.dnsName.empty();
    AddLogins(files, summary);
    if (!summary.joined) {
        return summary;
    }
    summary.domain = configuration.activeDomain.dnsName;
    summary.netbiosName = configuration.activeDomain.netbiosName;
    const size_t at = directory.hostPrincipal.rfind('@');
    if (at != std::string::npos) {
        summary.account = directory.hostPrincipal.substr(0, at);
        summary.realm = directory.hostPrincipal.substr(at + 1);
    } else {
        summary.realm = orvauth_base::ToUpper(summary.domain);
    }
    summary.container = ParentDN(configuration.machineAccountDN);
    const auto attribute = [&](const char* name) {
        const auto found = directory.accountAttributes.find(name);
        return found == directory.accountAttributes.end() ? std::string() : found->second;
    };
    summary.operatingSystem = attribute("operatingSystem");
    summary.operatingSystemVersion = attribute("operatingSystemVersion");
    summary.description = attribute("description");
    if (directory.trustState.ok) {
        summary.trustState = directory.trustState.value;
        summary.trust = TrustStateWords(directory.trustState.value);
    } else {
        summary.trust = "not known: " + directory.trustState.error;
    }
    try {
        const MachineAccount account = ReadMachineAccount(files, summary.domain);
        summary.homeDirectory = account.homeDirectory;
        summary.defaultShell = account.defaultShell;
    } catch (const std::exception&) {
        // sssd.conf is root's: the homes stay unknown to others.
    }
    // A keytab this process cannot read (it is root's) leaves both unknown.
    try {
        std::time_t setAt = 0;
        NewestKey(ORVAUTHHOST_KEYTAB, directory.hostPrincipal, summary.keyVersion, setAt);
        summary.passwordSet = setAt;
    } catch (const std::exception&) {
        summary.keyVersion = 0;
    }
    return summary;
}

}  // namespace orvane::host
