#include "status/StatusSummary.h"

#include "base/AsciiText.h"

#include <orvane/host/Logins.h>

#include <algorithm>
#include <krb5.h>

namespace orvane::host {
namespace {

// The newest key the host keytab holds for principal: its time and
// version. A keytab the process cannot read leaves both unknown (0).
void ReadNewestKey(const std::string& keytabPath, const std::string& principal, StatusSummary& summary)
{
    krb5_context context = nullptr;
    if (principal.empty() || krb5_init_context(&context) != 0) {
        return;
    }
    krb5_principal wanted = nullptr;
    krb5_keytab keytab = nullptr;
    krb5_kt_cursor cursor{};
    if (krb5_parse_name(context, principal.c_str(), &wanted) == 0 &&
        krb5_kt_resolve(context, ("FILE:" + keytabPath).c_str(), &keytab) == 0 &&
        krb5_kt_start_seq_get(context, keytab, &cursor) == 0) {
        krb5_keytab_entry entry;
        while (krb5_kt_next_entry(context, keytab, &entry, &cursor) == 0) {
            if (krb5_principal_compare(context, entry.principal, wanted) &&
                static_cast<int>(entry.vno) >= summary.keyVersion) {
                summary.keyVersion = static_cast<int>(entry.vno);
                summary.passwordSet = std::max<int64_t>(summary.passwordSet, entry.timestamp);
            }
            krb5_free_keytab_entry_contents(context, &entry);
        }
        krb5_kt_end_seq_get(context, keytab, &cursor);
    }
    if (keytab != nullptr) {
        krb5_kt_close(context, keytab);
    }
    krb5_free_principal(context, wanted);
    krb5_free_context(context);
}

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
    ReadNewestKey(ORVAUTHHOST_KEYTAB, directory.hostPrincipal, summary);
    return summary;
}

}  // namespace orvane::host
