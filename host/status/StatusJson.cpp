// The status report as one JSON object for programs: the facts of the
// status screen at the top, then every item of the report, a failed item as
// {"error": text} in place of its value.
#include <orvane/host/Status.h>

#include <nlohmann/json.hpp>

namespace orvane::host {
namespace {

using Json = nlohmann::ordered_json;

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

Json OrNull(const std::string& text) { return text.empty() ? Json(nullptr) : Json(text); }

// The facts, at the top of the object; null for what is not known.
void AddSummary(Json& json, const StatusSummary& summary)
{
    json["joined"] = summary.joined;
    json["domain"] = OrNull(summary.domain);
    json["netbios_name"] = OrNull(summary.netbiosName);
    json["realm"] = OrNull(summary.realm);
    json["computer_account"] = OrNull(summary.account);
    json["container"] = OrNull(summary.container);
    json["operating_system"] = OrNull(summary.operatingSystem);
    json["operating_system_version"] = OrNull(summary.operatingSystemVersion);
    json["description"] = OrNull(summary.description);
    json["trust"] = OrNull(summary.trust);
    json["trust_state"] = summary.joined ? Json(summary.trustState) : Json(nullptr);
    json["logins_enabled"] = summary.loginsEnabled;
    json["permitted_logins"] = summary.permittedLogins;
    json["administrators"] = summary.administrators;
    json["id_mapping"] = summary.idMapping;
    json["dns_registration"] = summary.dnsRegistration;
    json["password_set"] = summary.passwordSet == 0 ? Json(nullptr) : Json(summary.passwordSet);
    json["key_version"] = summary.keyVersion == 0 ? Json(nullptr) : Json(summary.keyVersion);
    json["renew_after_days"] = summary.renewAfterDays == 0 ? Json(nullptr) : Json(summary.renewAfterDays);
    json["home_directory"] = OrNull(summary.homeDirectory);
    json["default_shell"] = OrNull(summary.defaultShell);
    json["cached_since"] = OrNull(summary.cachedSince);
}

}  // namespace

std::string StatusJson(const StatusReport& report)
{
    Json json{{"active_store", FromOutcome(report.activeStore, [](const std::string& name) { return name; })}};
    AddSummary(json, report.summary);
    json["config_directory"] = report.configDirectory;
    json["plugin_directory"] = report.pluginDirectory;
    json["directory"] = DirectoryJson(report.directory);
    json["records"] = RecordsJson(report.records);
    // Names read from files and plug-ins may not be UTF-8: U+FFFD stands in
    // for a bad byte, so that the document always parses.
    return json.dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace orvane::host
