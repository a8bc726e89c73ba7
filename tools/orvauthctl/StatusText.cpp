// The status report as aligned text for people. A failed item shows its
// error in its place.
#include "StatusReport.h"

#include <algorithm>
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

}  // namespace

using orvane::host::StatusReport;

void PrintStatusText(std::ostream& out, const StatusReport& report)
{
    Line(out, "Active store", report.activeStore.ok ? report.activeStore.value : "error: " + report.activeStore.error,
         false);
    Line(out, "Configuration directory", report.configDirectory, false);
    Line(out, "Plug-in directory", report.pluginDirectory, false);
    PrintDirectoryText(out, report.directory);
    PrintRecordsText(out, report.records);
}

}  // namespace orvauthctl
