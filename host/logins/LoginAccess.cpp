#include <orvane/host/LoginAccess.h>

#include "base/AsciiText.h"

#include <algorithm>
#include <cctype>
#include <sstream>

namespace orvane::host {
namespace {

const char* const HEADER =
    "# Written by orvauthctl (logins permit/deny, logins enable --offline-days, renew --every, dns-update):\n"
    "# change these settings with the tool; SSSD reads them after sssd.conf.\n";

using orvauth_base::Trim;

std::string JoinList(const std::set<std::string>& names)
{
    std::string joined;
    for (const std::string& name : names) {
        joined += (joined.empty() ? "" : ", ") + name;
    }
    return joined;
}

std::set<std::string> SplitList(const std::string& value)
{
    std::set<std::string> names;
    std::istringstream items(value);
    for (std::string item; std::getline(items, item, ',');) {
        if (!Trim(item).empty()) {
            names.insert(Trim(item));
        }
    }
    return names;
}

int Number(const std::string& key, const std::string& value)
{
    if (value.empty() || value.size() > 6 || !std::all_of(value.begin(), value.end(), ::isdigit)) {
        throw std::runtime_error("the value of " + key + " is not a number of days: '" + value + "'");
    }
    return std::stoi(value);
}

bool Boolean(const std::string& key, const std::string& value)
{
    const std::string lower = orvauth_base::ToLower(value);
    if (lower != "true" && lower != "false") {
        throw std::runtime_error("the value of " + key + " is neither True nor False: '" + value + "'");
    }
    return lower == "true";
}

}  // namespace

std::string RenewalChecks(const std::string& value)
{
    const size_t colon = value.find(':');
    const auto seconds = [](const std::string& part) {
        return !part.empty() && part.size() <= 9 && std::all_of(part.begin(), part.end(), ::isdigit);
    };
    if (colon == std::string::npos || !seconds(value.substr(0, colon)) || !seconds(value.substr(colon + 1)) ||
        std::stol(value.substr(0, colon)) == 0) {
        throw std::invalid_argument("'" + value + "' is not <period>:<first delay> in seconds, the period above 0");
    }
    return std::to_string(std::stol(value.substr(0, colon))) + ":" + std::to_string(std::stol(value.substr(colon + 1)));
}

namespace {

const std::pair<AccessMode, const char*> PROVIDERS[] = {
    {AccessMode::Nobody, "deny"},
    {AccessMode::Listed, "simple"},
    {AccessMode::Everyone, "permit"},
    {AccessMode::DomainPolicy, "ad"},
};

}  // namespace

void Permit(LoginAccess& access, const std::vector<std::string>& users, const std::vector<std::string>& groups)
{
    if (access.mode != AccessMode::Listed) {
        access = LoginAccess{AccessMode::Listed, {}, {}};
    }
    access.users.insert(users.begin(), users.end());
    access.groups.insert(groups.begin(), groups.end());
}

void PermitAll(LoginAccess& access, AccessMode mode) { access = LoginAccess{mode, {}, {}}; }

void Deny(LoginAccess& access, const std::vector<std::string>& users, const std::vector<std::string>& groups)
{
    if (access.mode == AccessMode::Everyone || access.mode == AccessMode::DomainPolicy) {
        throw AccessRuleRefused(std::string("logins are permitted to ") +
                                (access.mode == AccessMode::Everyone ? "every directory user"
                                                                     : "whom the domain's group policy allows") +
                                ", not to a list to take names from: permit the users or groups who may log in "
                                "instead (logins permit --user/--group), or deny --all");
    }
    for (const std::string& user : users) {
        access.users.erase(user);
    }
    for (const std::string& group : groups) {
        access.groups.erase(group);
    }
    if (access.users.empty() && access.groups.empty()) {
        DenyAll(access);  // an empty simple list would let everyone in
    }
}

void DenyAll(LoginAccess& access) { access = LoginAccess{}; }

std::string QualifiedName(const std::string& name, const std::string& domain)
{
    std::string bare = name.substr(name.find('\\') == std::string::npos ? 0 : name.find('\\') + 1);
    bare = bare.substr(0, bare.rfind('@'));
    return orvauth_base::ToLower(bare + "@" + domain);
}

const char* AccessModeName(AccessMode mode)
{
    switch (mode) {
    case AccessMode::Listed:
        return "listed";
    case AccessMode::Everyone:
        return "everyone";
    case AccessMode::DomainPolicy:
        return "domain-policy";
    default:
        return "nobody";
    }
}

std::vector<std::string> DescribeAccess(const LoginAccess& access)
{
    switch (access.mode) {
    case AccessMode::Everyone:
        return {"every directory user"};
    case AccessMode::DomainPolicy:
        return {"whom the domain's group policy allows to log on (GPO logon rights)"};
    case AccessMode::Listed: {
        std::vector<std::string> lines;
        for (const std::string& user : access.users) {
            lines.push_back("user " + user);
        }
        for (const std::string& group : access.groups) {
            lines.push_back("group " + group);
        }
        return lines;
    }
    default:
        return {"nobody (logins permit --user/--group/--all says who may)"};
    }
}

std::string FormatSnippet(const SssdSnippet& snippet)
{
    // An allow list that is empty would let everyone in: written as nobody.
    LoginAccess access = snippet.access;
    if (access.mode == AccessMode::Listed && access.users.empty() && access.groups.empty()) {
        access.mode = AccessMode::Nobody;
    }
    std::string text = std::string(HEADER) + "[domain/" + snippet.domain + "]\n";
    for (const auto& provider : PROVIDERS) {
        text += provider.first == access.mode ? std::string("access_provider = ") + provider.second + "\n" : "";
    }
    if (access.mode == AccessMode::Listed) {
        text += access.users.empty() ? "" : "simple_allow_users = " + JoinList(access.users) + "\n";
        text += access.groups.empty() ? "" : "simple_allow_groups = " + JoinList(access.groups) + "\n";
    }
    if (access.mode == AccessMode::DomainPolicy) {
        text += "ad_gpo_access_control = enforcing\n";
    }
    if (snippet.passwordAgeDays >= 0) {
        text += "ad_maximum_machine_account_password_age = " + std::to_string(snippet.passwordAgeDays) + "\n";
    }
    if (!snippet.renewalChecks.empty()) {
        text += "ad_machine_account_password_renewal_opts = " + RenewalChecks(snippet.renewalChecks) + "\n";
    }
    if (snippet.dnsUpdate >= 0) {
        text += std::string("dyndns_update = ") + (snippet.dnsUpdate > 0 ? "True" : "False") + "\n";
    }
    if (snippet.dnsUpdate > 0) {
        // Every address but loopback and link-local ones, as the tool
        // registers at once; the reverse record too where the domain's DNS
        // has the zone; the refresh makes the records follow the addresses.
        text += "dyndns_iface = *\ndyndns_update_ptr = True\ndyndns_refresh_interval = " +
                std::to_string(DNS_REFRESH_SECONDS) + "\n";
    }
    if (snippet.offlineDays >= 0) {
        text += "[pam]\noffline_credentials_expiration = " + std::to_string(snippet.offlineDays) + "\n";
    }
    return text;
}

SssdSnippet ParseSnippet(const std::string& text)
{
    SssdSnippet snippet;
    std::string section;
    bool providerSeen = false;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        line = Trim(line);
        if (line.empty() || line[0] == '#' || line[0] == ';') {
            continue;
        }
        if (line.front() == '[' && line.back() == ']') {
            section = Trim(line.substr(1, line.size() - 2));
            if (section.compare(0, 7, "domain/") == 0 && snippet.domain.empty()) {
                snippet.domain = section.substr(7);
            } else if (section != "pam") {
                throw std::runtime_error("it has a section [" + section + "] the tool does not write");
            }
            continue;
        }
        size_t equals = line.find('=');
        std::string key = Trim(line.substr(0, equals)), value = equals == std::string::npos ? "" : Trim(line.substr(equals + 1));
        if (section == "pam" && key == "offline_credentials_expiration") {
            snippet.offlineDays = Number(key, value);
        } else if (section.empty() || section == "pam") {
            throw std::runtime_error("it has a line '" + line + "' the tool does not write");
        } else if (key == "access_provider") {
            auto found = std::find_if(std::begin(PROVIDERS), std::end(PROVIDERS),
                                      [&](const auto& provider) { return value == provider.second; });
            if (found == std::end(PROVIDERS)) {
                throw std::runtime_error("access_provider '" + value + "' is none the tool writes");
            }
            snippet.access.mode = found->first;
            providerSeen = true;
        } else if (key == "simple_allow_users") {
            snippet.access.users = SplitList(value);
        } else if (key == "simple_allow_groups") {
            snippet.access.groups = SplitList(value);
        } else if (key == "ad_maximum_machine_account_password_age") {
            snippet.passwordAgeDays = Number(key, value);
        } else if (key == "ad_machine_account_password_renewal_opts") {
            try {
                snippet.renewalChecks = RenewalChecks(value);
            } catch (const std::invalid_argument& e) {
                throw std::runtime_error(key + ": " + e.what());
            }
        } else if (key == "dyndns_update") {
            snippet.dnsUpdate = Boolean(key, value) ? 1 : 0;
        } else if (key != "ad_gpo_access_control" && key != "dyndns_iface" && key != "dyndns_update_ptr" &&
                   key != "dyndns_refresh_interval") {
            throw std::runtime_error("it has a line '" + line + "' the tool does not write");
        }
    }
    if (!providerSeen && !snippet.domain.empty()) {
        throw std::runtime_error("it names no access_provider");
    }
    if (snippet.access.mode != AccessMode::Listed) {
        snippet.access.users.clear();
        snippet.access.groups.clear();
    }
    return snippet;
}

}  // namespace orvane::host
