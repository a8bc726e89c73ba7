// The status report as one JSON object for programs. A failed item is
// {"error": text} in place of its value.
#include "Json.h"
#include "StatusReport.h"

#include <ostream>

namespace orvauthctl {
namespace {

using orvane::authentication::Domain;

// Writes the key, then the value through `write`, or the error object.
template <typename T, typename Write>
void JsonOutcome(JsonWriter& json, const std::string& key, const Outcome<T>& outcome, Write write)
{
    json.Key(key);
    if (outcome.ok) {
        write(outcome.value);
    } else {
        json.BeginObject().Key("error").String(outcome.error).EndObject();
    }
}

void JsonDomain(JsonWriter& json, const Domain& domain)
{
    json.BeginObject().Key("dnsName").String(domain.dnsName).Key("netbiosName").String(domain.netbiosName).EndObject();
}

void JsonModule(JsonWriter& json, const std::string& key, const ModuleInfo& module)
{
    json.Key(key).BeginObject().Key("name").String(module.name).Key("parameters");
    json.StringArray(std::vector<std::string>(module.parameters.begin(), module.parameters.end())).EndObject();
}

void PrintDirectoryJson(JsonWriter& json, const DirectoryStatus& directory)
{
    json.Key("directory").BeginObject();
    json.Key("available").Bool(directory.loadError.empty());
    if (!directory.loadError.empty()) {
        json.Key("error").String(directory.loadError).EndObject();
        return;
    }
    using Configuration = orvane::authentication::ActiveDirectoryStoreConfiguration;
    JsonOutcome(json, "configuration", directory.configuration, [&](const Configuration& c) {
        json.BeginObject().Key("joinedDomain");
        JsonDomain(json, c.activeDomain);
        json.Key("preferredDomainControllers");
        json.StringArray(std::vector<std::string>(c.preferredDomainControllers.begin(),
                                                  c.preferredDomainControllers.end()));
        json.Key("machineAccount").String(c.machineAccountDN).EndObject();
    });
    JsonOutcome(json, "trustedDomains", directory.trustedDomains, [&](const std::deque<Domain>& domains) {
        json.BeginArray();
        for (const Domain& domain : domains) {
            JsonDomain(json, domain);
        }
        json.EndArray();
    });
    JsonOutcome(json, "trustState", directory.trustState, [&](TrustState state) { json.Number(state); });
    JsonModule(json, "pamModule", directory.pamModule);
    JsonModule(json, "nssModule", directory.nssModule);
    json.EndObject();
}

void PrintRecordsJson(JsonWriter& json, const HostRecords& records)
{
    json.Key("records").BeginObject();
    json.Key("configStoreEnabled").Bool(records.configStoreEnabled);
    if (records.configStoreEnabled) {
        JsonOutcome(json, "membership", records.membership, [&](const MembershipRecord& r) {
            if (!r.present) {
                json.Null();
                return;
            }
            json.BeginObject().Key("domainName").String(r.domainName);
            json.Key("organizationalUnit").String(r.organizationalUnit);
            json.Key("proxyAddress").String(r.proxyAddress).EndObject();
        });
        JsonOutcome(json, "proxyThumbprint", records.proxyThumbprint, [&](const std::string& t) {
            t.empty() ? json.Null() : json.String(t);
        });
    } else {
        JsonOutcome(json, "proxyThumbprints", records.proxyThumbprints,
                    [&](const std::map<std::string, std::string>& servers) {
                        json.BeginObject();
                        for (const auto& server : servers) {
                            json.Key(server.first).String(server.second);
                        }
                        json.EndObject();
                    });
    }
    JsonOutcome(json, "verifyProxyCertificate", records.verifyProxyCertificate,
                [&](int64_t value) { json.Number(value); });
    json.EndObject();
}

}  // namespace

void PrintStatusJson(std::ostream& out, const StatusReport& report)
{
    JsonWriter json(out);
    json.BeginObject();
    JsonOutcome(json, "activeStore", report.activeStore, [&](const std::string& name) { json.String(name); });
    json.Key("configDirectory").String(report.configDirectory);
    json.Key("pluginDirectory").String(report.pluginDirectory);
    PrintDirectoryJson(json, report.directory);
    PrintRecordsJson(json, report.records);
    json.EndObject();
    json.Finish();
}

}  // namespace orvauthctl
