// The status report as one JSON object for programs. A failed item is
// {"error": text} in place of its value.
#include "Json.h"
#include "StatusReport.h"

#include <ostream>

namespace orvauthctl {
namespace {

using orvane::authentication::Domain;

template <typename T, typename Convert>
Json FromOutcome(const Outcome<T>& outcome, Convert convert)
{
    return outcome.ok ? Json(convert(outcome.value)) : Json{{"error", outcome.error}};
}

Json FromDomain(const Domain& domain)
{
    return {{"dnsName", domain.dnsName}, {"netbiosName", domain.netbiosName}};
}

Json FromModule(const ModuleInfo& module)
{
    return {{"name", module.name}, {"parameters", module.parameters}};
}

Json DirectoryJson(const DirectoryStatus& directory)
{
    Json json{{"available", directory.loadError.empty()}};
    if (!directory.loadError.empty()) {
        json["error"] = directory.loadError;
        return json;
    }
    using Configuration = orvane::authentication::ActiveDirectoryStoreConfiguration;
    json["configuration"] = FromOutcome(directory.configuration, [](const Configuration& c) {
        return Json{{"joinedDomain", FromDomain(c.activeDomain)},
                    {"preferredDomainControllers", c.preferredDomainControllers},
                    {"machineAccount", c.machineAccountDN}};
    });
    json["trustedDomains"] = FromOutcome(directory.trustedDomains, [](const std::deque<Domain>& domains) {
        Json list = Json::array();
        for (const Domain& domain : domains) {
            list.push_back(FromDomain(domain));
        }
        return list;
    });
    json["trustState"] = FromOutcome(directory.trustState, [](TrustState state) { return state; });
    if (!directory.cachedItems.empty()) {  // no controller answered: these items are the last answers
        json["cached"] = true;
        json["cachedSince"] = directory.cachedSince;
        json["cachedItems"] = directory.cachedItems;
    }
    json["pamModule"] = FromModule(directory.pamModule);
    json["nssModule"] = FromModule(directory.nssModule);
    return json;
}

Json RecordsJson(const HostRecords& records)
{
    Json json{{"configStoreEnabled", records.configStoreEnabled}};
    if (records.configStoreEnabled) {
        json["membership"] = FromOutcome(records.membership, [](const MembershipRecord& r) {
            return r.present ? Json{{"domainName", r.domainName},
                                    {"organizationalUnit", r.organizationalUnit},
                                    {"proxyAddress", r.proxyAddress}}
                             : Json(nullptr);
        });
        json["proxyThumbprint"] = FromOutcome(records.proxyThumbprint,
                                              [](const std::string& t) { return t.empty() ? Json(nullptr) : Json(t); });
    } else {
        using Servers = std::map<std::string, std::string>;
        json["proxyThumbprints"] = FromOutcome(records.proxyThumbprints, [](const Servers& servers) { return Json(servers); });
    }
    json["verifyProxyCertificate"] = FromOutcome(records.verifyProxyCertificate, [](int64_t value) { return value; });
    return json;
}

}  // namespace

void PrintStatusJson(std::ostream& out, const StatusReport& report)
{
    PrintJson(out, Json{{"activeStore", FromOutcome(report.activeStore, [](const std::string& name) { return name; })},
                        {"configDirectory", report.configDirectory},
                        {"pluginDirectory", report.pluginDirectory},
                        {"directory", DirectoryJson(report.directory)},
                        {"records", RecordsJson(report.records)}});
}

}  // namespace orvauthctl
