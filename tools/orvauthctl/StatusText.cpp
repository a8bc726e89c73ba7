// The status report as text for people: one screen of facts about the
// membership, in the shape of `realm list`; with --verbose, everything the
// report holds, each failed item with its error in its place.
#include "StatusReport.h"

#include <algorithm>
#include <ctime>
#include <initializer_list>
#include <iomanip>
#include <ostream>
#include <sstream>

namespace orvauthctl {
namespace {

using namespace orvane::host;

using orvane::authentication::Domain;

// Values start in one column, whether their label is indented or not.
constexpr int VALUE_COLUMN = 32;

void Line(std::ostream& out, const std::string& label, const std::string& value, bool indented = true)
{
    std::string head = (indented ? "  " : "") + (label.empty() ? "" : label + ":");
    out << std::left << std::setw(VALUE_COLUMN) << head << value << '\n';
}

// One line per value; the label on the first, "(none)" when there are none.
void Lines(std::ostream& out, const std::string& label, const std::vector<std::string>& values)
{
    if (values.empty()) {
        Line(out, label, "(none)");
    }
    for (size_t i = 0; i < values.size(); ++i) {
        Line(out, i == 0 ? label : "", values[i]);
    }
}

template <typename T, typename Format>
void OutcomeLine(std::ostream& out, const std::string& label, const Outcome<T>& outcome, Format format)
{
    if (!outcome.ok) {
        Line(out, label, "error: " + outcome.error);
    } else {
        Lines(out, label, format(outcome.value));
    }
}

std::string DomainText(const Domain& domain)
{
    std::ostringstream text;
    text << domain;
    return text.str();
}

std::string ModuleText(const ModuleInfo& module)
{
    std::string text = module.name;
    for (const std::string& parameter : module.parameters) {
        text += " " + parameter;
    }
    return text;
}

std::string OrNone(const std::string& text) { return text.empty() ? "(none)" : text; }

// Under an item shown from the last complete answers: that it is one.
void CachedNote(std::ostream& out, const DirectoryStatus& directory, std::initializer_list<const char*> items)
{
    for (const char* item : items) {
        if (std::find(directory.cachedItems.begin(), directory.cachedItems.end(), item) != directory.cachedItems.end()) {
            Line(out, "", "(cached, from " + directory.cachedSince + "; the domain controller did not answer)");
            return;
        }
    }
}

void PrintDirectoryText(std::ostream& out, const DirectoryStatus& directory)
{
    out << "\nDirectory client:\n";
    if (!directory.loadError.empty()) {
        Line(out, "Not available", directory.loadError);
        return;
    }
    using Configuration = orvane::authentication::ActiveDirectoryStoreConfiguration;
    OutcomeLine(out, "Joined domain", directory.configuration, [](const Configuration& c) {
        return std::vector<std::string>{c.activeDomain.dnsName.empty() && c.activeDomain.netbiosName.empty()
                                            ? "(none)"
                                            : DomainText(c.activeDomain)};
    });
    OutcomeLine(out, "Preferred domain controllers", directory.configuration, [](const Configuration& c) {
        return std::vector<std::string>(c.preferredDomainControllers.begin(), c.preferredDomainControllers.end());
    });
    OutcomeLine(out, "Machine account", directory.configuration,
                [](const Configuration& c) { return std::vector<std::string>{OrNone(c.machineAccountDN)}; });
    CachedNote(out, directory, {"configuration", "machine_account"});
    OutcomeLine(out, "Trusted domains", directory.trustedDomains, [](const std::deque<Domain>& domains) {
        std::vector<std::string> lines;
        for (const Domain& domain : domains) {
            lines.push_back(DomainText(domain));
        }
        return lines;
    });
    CachedNote(out, directory, {"trusted_domains"});
    OutcomeLine(out, "Trust state", directory.trustState,
                [](TrustState state) { return std::vector<std::string>{DescribeTrustState(state)}; });
    CachedNote(out, directory, {"trust_state"});
    Line(out, "PAM module", ModuleText(directory.pamModule));
    Line(out, "NSS module", ModuleText(directory.nssModule));
}

void PrintRecordsText(std::ostream& out, const HostRecords& records)
{
    out << "\nHost records:\n";
    Line(out, "Configuration store", records.configStoreEnabled ? "enabled" : "disabled");
    if (records.configStoreEnabled) {
        if (!records.membership.ok) {
            Line(out, "Membership record", "error: " + records.membership.error);
        } else {
            const MembershipRecord& record = records.membership.value;
            Line(out, "Recorded domain", record.present ? record.domainName : "(none)");
            if (record.present) {
                Line(out, "Recorded organizational unit", OrNone(record.organizationalUnit));
                Line(out, "Recorded proxy address", OrNone(record.proxyAddress));
            }
        }
        OutcomeLine(out, "Trusted proxy certificate", records.proxyThumbprint,
                    [](const std::string& t) { return std::vector<std::string>{OrNone(t)}; });
    } else {
        OutcomeLine(out, "Trusted proxies", records.proxyThumbprints,
                    [](const std::map<std::string, std::string>& servers) {
                        std::vector<std::string> lines;
                        for (const auto& server : servers) {
                            lines.push_back(server.first + " " + server.second);
                        }
                        return lines;
                    });
    }
    OutcomeLine(out, "Verify proxy certificate", records.verifyProxyCertificate,
                [](int64_t value) { return std::vector<std::string>{std::to_string(value)}; });
}

// The facts' labels are short: their values start here.
constexpr int FACT_COLUMN = 22;

void Fact(std::ostream& out, const std::string& label, const std::vector<std::string>& values)
{
    for (size_t i = 0; i < values.size(); ++i) {
        out << std::left << std::setw(FACT_COLUMN) << (i == 0 ? "  " + label + ":" : "") << values[i] << '\n';
    }
}
void Fact(std::ostream& out, const std::string& label, const std::string& value)
{
    Fact(out, label, std::vector<std::string>{value});
}

std::string UtcDay(int64_t seconds)
{
    const std::time_t time = static_cast<std::time_t>(seconds);
    std::tm parts{};
    char text[32];
    gmtime_r(&time, &parts);
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M UTC", &parts);
    return text;
}

std::string PasswordText(const StatusSummary& summary)
{
    if (summary.passwordSet == 0) {
        return "age not known (the host keytab holds no key of the account this process can read)";
    }
    const int64_t days = std::max<int64_t>(0, (std::time(nullptr) - summary.passwordSet) / 86400);
    const std::string age = std::to_string(days) + (days == 1 ? " day" : " days") + " old (set " +
                            UtcDay(summary.passwordSet) + ", key version " + std::to_string(summary.keyVersion) + "); ";
    if (summary.renewAfterDays == 0) {
        return age + "SSSD does not renew it (orvauthctl renew --every <days> has it do so)";
    }
    // When SSSD's periodic check runs is SSSD's own (a delay after it starts,
    // then its period): what is known is the first day it may.
    return age + "SSSD renews it at " + std::to_string(summary.renewAfterDays) + " days old, at its first check after " +
           UtcDay(summary.passwordSet + int64_t{summary.renewAfterDays} * 86400);
}

void PrintSummary(std::ostream& out, const StatusReport& report)
{
    const StatusSummary& summary = report.summary;
    const std::string store = report.activeStore.ok ? report.activeStore.value : "not known: " + report.activeStore.error;
    const std::string logins =
        summary.loginsEnabled ? "enabled" : "not enabled (orvauthctl logins enable turns them on)";
    if (!summary.joined) {
        out << "not joined to a domain\n";
        Fact(out, "active store", store);
        Fact(out, "directory logins", logins);
        Fact(out, "to join", "orvauthctl join <domain> --user <administrator>");
        return;
    }
    out << summary.domain << '\n';
    Fact(out, "realm", summary.realm);
    Fact(out, "NetBIOS name", OrNone(summary.netbiosName));
    Fact(out, "computer account", summary.account.empty() ? "not known" : summary.account);
    Fact(out, "container", summary.container.empty() ? "not known" : summary.container);
    Fact(out, "operating system", summary.operatingSystem.empty() ? "(none)"
                                  : summary.operatingSystem + " " + summary.operatingSystemVersion);
    Fact(out, "description", OrNone(summary.description));
    Fact(out, "trust", summary.trust);
    Fact(out, "active store", store);
    Fact(out, "directory logins", logins);
    Fact(out, "permitted logins", summary.permittedLogins);
    Fact(out, "administrators", summary.administrators.empty() ? std::vector<std::string>{"none from the directory"}
                                                               : summary.administrators);
    Fact(out, "ID mapping", summary.idMapping == "sid"     ? "sid (IDs derived from each user's SID)"
                                 : summary.idMapping == "posix" ? "posix (the directory's uidNumber and gidNumber)"
                                                                : summary.idMapping);
    Fact(out, "DNS registration", summary.dnsRegistration ? "on" : "off (this host registers no DNS records)");
    Fact(out, "users' homes", summary.homeDirectory.empty() ? "not known" : summary.homeDirectory + " (shell " +
                                                                             OrNone(summary.defaultShell) + " where the directory gives none)");
    Fact(out, "machine password", PasswordText(summary));
    if (!summary.cachedSince.empty()) {
        out << "  (the domain controller did not answer: the directory's facts are cached, from "
            << summary.cachedSince << ")\n";
    }
}

}  // namespace

using orvane::host::StatusReport;

void PrintStatusText(std::ostream& out, const StatusReport& report, bool verbose)
{
    if (!verbose) {
        PrintSummary(out, report);
        return;
    }
    Line(out, "Active store", report.activeStore.ok ? report.activeStore.value : "error: " + report.activeStore.error,
         false);
    Line(out, "Configuration directory", report.configDirectory, false);
    Line(out, "Plug-in directory", report.pluginDirectory, false);
    PrintDirectoryText(out, report.directory);
    PrintRecordsText(out, report.records);
}

}  // namespace orvauthctl
