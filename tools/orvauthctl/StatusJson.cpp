// The status report as one JSON object for programs. A failed item is
// {"error": text} in place of its value.
#include "Json.h"
#include "StatusReport.h"

#include <ostream>

namespace orvauthctl {
namespace {

using namespace orvane::host;

using orvane::authentication::Domain;

template <typename T, typename Convert>
Json FromOutcome(const Outcome<T>& outcome, Convert convert)
{
    return outcome.ok ? Json(convert(outcome.value)) : Json{{"error", outcome.error}};
}

Json FromDomain(const Domain& domain)
{
    return {{"dns_name", domain.dnsName}, {"netbios_name", domain.netbiosName}};
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
        return Json{{"joined_domain", FromDomain(c.activeDomain)},
                    {"preferred_domain_controllers", c.preferredDomainControllers},
                    {"machine_account", c.machineAccountDN}};
    });
    json["trusted_domains"] = FromOutcome(directory.trustedDomains, [](const std::deque<Domain>& domains) {
        Json list = Json::array();
        for (const Domain& domain : domains) {
            list.push_back(FromDomain(domain));
        }
        return list;
    });
    json["trust_state"] = FromOutcome(directory.trustState, [](TrustState state) { return state; });
    if (!directory.cachedItems.empty()) {  // no controller answered: these items are the last answers
        json["cached"] = true;
        json["cached_since"] = directory.cachedSince;
        json["cached_items"] = directory.cachedItems;
    }
    json["pam_module"] = FromModule(directory.pamModule);
    json["nss_module"] = FromModule(directory.nssModule);
    return json;
}

Json RecordsJson(const HostRecords& records)
{
    Json json{{"config_store_enabled", records.configStoreEnabled}};
    if (records.configStoreEnabled) {
        json["membership"] = FromOutcome(records.membership, [](const MembershipRecord& r) {
            return r.present ? Json{{"domain_name", r.domainName},
                                    {"organizational_unit", r.organizationalUnit},
                                    {"proxy_address", r.proxyAddress}}
                             : Json(nullptr);
        });
        json["proxy_thumbprint"] = FromOutcome(records.proxyThumbprint,
                                              [](const std::string& t) { return t.empty() ? Json(nullptr) : Json(t); });
    } else {
        using Servers = std::map<std::string, std::string>;
        json["proxy_thumbprints"] = FromOutcome(records.proxyThumbprints, [](const Servers& servers) { return Json(servers); });
    }
    json["verify_proxy_certificate"] = FromOutcome(records.verifyProxyCertificate, [](int64_t value) { return value; });
    return json;
}

}  // namespace

using orvane::host::StatusReport;

void PrintStatusJson(std::ostream& out, const StatusReport& report)
{
    PrintJson(out, Json{{"active_store", FromOutcome(report.activeStore, [](const std::string& name) { return name; })},
                        {"config_directory", report.configDirectory},
                        {"plugin_directory", report.pluginDirectory},
                        {"directory", DirectoryJson(report.directory)},
                        {"records", RecordsJson(report.records)}});
}

}  // namespace orvauthctl
