#include "status/StatusCache.h"

#include "base/FileReplacement.h"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <sys/stat.h>
#include <syslog.h>

namespace orvane::host {
namespace {

using orvane::authentication::Domain;
using nlohmann::json;

json FromDomain(const Domain& domain) { return {{"dnsName", domain.dnsName}, {"netbiosName", domain.netbiosName}}; }

Domain ToDomain(const json& value)
{
    return Domain(value.at("dnsName").get<std::string>(), value.at("netbiosName").get<std::string>());
}

}  // namespace

std::string UtcNow()
{
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    char text[32];
    gmtime_r(&now, &parts);
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return text;
}

bool LoadDirectoryAnswers(const std::string& path, CachedDirectoryAnswers& answers)
{
    std::string text;
    if (orvauth_base::ReadWholeFile(path, text) != 0) {
        return false;
    }
    const json document = json::parse(text, nullptr, false);
    try {
        CachedDirectoryAnswers read;
        read.obtained = document.at("obtained").get<std::string>();
        read.configuration.activeDomain = ToDomain(document.at("joinedDomain"));
        for (const json& controller : document.at("preferredDomainControllers")) {
            read.configuration.preferredDomainControllers.push_back(controller.get<std::string>());
        }
        read.configuration.machineAccountDN = document.at("machineAccount").get<std::string>();
        for (const json& domain : document.at("trustedDomains")) {
            read.trustedDomains.push_back(ToDomain(domain));
        }
        read.trustState = document.at("trustState").get<TrustState>();
        // Kept since status shows them; answers kept before have none.
        read.accountAttributes =
            document.value("accountAttributes", json::object()).get<std::map<std::string, std::string>>();
        answers = std::move(read);
        return true;
    } catch (const json::exception&) {
        return false;  // damaged or of another version: as if there were none
    }
}

void SaveDirectoryAnswers(const std::string& path, const CachedDirectoryAnswers& answers)
{
    json trusted = json::array();
    for (const Domain& domain : answers.trustedDomains) {
        trusted.push_back(FromDomain(domain));
    }
    const json document{{"obtained", answers.obtained},
                        {"joinedDomain", FromDomain(answers.configuration.activeDomain)},
                        {"preferredDomainControllers", answers.configuration.preferredDomainControllers},
                        {"machineAccount", answers.configuration.machineAccountDN},
                        {"trustedDomains", trusted},
                        {"trustState", answers.trustState},
                        {"accountAttributes", answers.accountAttributes}};
    const std::string directory = orvauth_base::FileReplacement::DirectoryOf(path);
    if (::mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST) {
        syslog(LOG_NOTICE, "status: cannot create %s to keep the directory's answers: %s", directory.c_str(),
               std::strerror(errno));
        return;
    }
    const orvauth_base::ReplacementFailure failure =
        orvauth_base::ReplaceFile(path, document.dump(-1, ' ', false, json::error_handler_t::replace) + "\n", 0644);
    if (failure.error != 0) {
        syslog(LOG_NOTICE, "status: cannot keep the directory's answers in %s (%s %s): %s", path.c_str(),
               failure.step, failure.path.c_str(), std::strerror(failure.error));
    }
}

}  // namespace orvane::host
