#include "SssdConfig.h"

#include "base/AsciiText.h"
#include "base/SssdService.h"
#include "base/FileReplacement.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <iterator>
#include <syslog.h>
#include <unistd.h>

#ifndef ORVAUTH_SSSD_CONF
#error "ORVAUTH_SSSD_CONF (the sssd.conf the plug-in writes) is set by the build"
#endif

namespace adclient {
namespace {

const char* const SERVICE_SECTION = "sssd";
const char* const DOMAIN_PREFIX = "domain/";
// What Configure puts into an [sssd] section it creates: the responders
// to start where no service manager starts them on demand. A file left
// with nothing else was created by Configure and goes on leave.
const char* const BASE_KEYS[][2] = {{"services", "nss, pam"}};

using orvauth_base::Trim;

// sssd.conf as sections of lines, kept byte for byte except where a key is
// set or removed, so that a removal gives back the file as it was.
struct Line {
    std::string text;
    std::string key;  // empty: blank line or comment
};

struct Section {
    std::string name;  // empty: the lines before the first section
    std::string header;
    std::vector<Line> lines;
};

class IniFile {
public:
    explicit IniFile(const std::string& text)
    {
        sections.push_back(Section{"", "", {}});
        size_t start = 0;
        while (start < text.size()) {
            size_t end = text.find('\n', start);
            end = end == std::string::npos ? text.size() : end;
            std::string line = text.substr(start, end - start), trimmed = Trim(line);
            start = end + 1;
            if (trimmed.size() >= 2 && trimmed.front() == '[' && trimmed.back() == ']') {
                sections.push_back(Section{Trim(trimmed.substr(1, trimmed.size() - 2)), line, {}});
                continue;
            }
            size_t equals = trimmed.find('=');
            bool comment = trimmed.empty() || trimmed[0] == '#' || trimmed[0] == ';';
            sections.back().lines.push_back(
                Line{line, comment || equals == std::string::npos ? "" : Trim(trimmed.substr(0, equals))});
        }
    }

    std::string Text() const
    {
        std::string text;
        for (const Section& section : sections) {
            text += section.name.empty() ? "" : section.header + "\n";
            for (const Line& line : section.lines) {
                text += line.text + "\n";
            }
        }
        return text;
    }

    Section* Find(const std::string& name)
    {
        auto found = std::find_if(sections.begin(), sections.end(), [&](const Section& s) { return s.name == name; });
        return found == sections.end() ? nullptr : &*found;
    }

    Section& Get(const std::string& name)
    {
        // No blank line goes before a new section: removing the section
        // again then leaves exactly the lines that were there.
        if (Find(name) == nullptr) {
            sections.push_back(Section{name, "[" + name + "]", {}});
        }
        return *Find(name);
    }

    void Erase(const std::string& name)
    {
        sections.erase(std::remove_if(sections.begin(), sections.end(), [&](const Section& s) { return s.name == name; }),
                       sections.end());
    }

    std::vector<Section> sections;
};

const Line* FindKey(const Section& section, const std::string& key)
{
    auto found = std::find_if(section.lines.begin(), section.lines.end(), [&](const Line& l) { return l.key == key; });
    return found == section.lines.end() ? nullptr : &*found;
}

std::string Value(const Section& section, const std::string& key)
{
    const Line* line = FindKey(section, key);
    return line == nullptr ? "" : Trim(line->text.substr(line->text.find('=') + 1));
}

// Replaces the key's line in place, or adds it after the section's last key.
void Set(Section& section, const std::string& key, const std::string& value)
{
    Line line{key + " = " + value, key};
    auto existing = std::find_if(section.lines.begin(), section.lines.end(), [&](const Line& l) { return l.key == key; });
    if (existing != section.lines.end()) {
        *existing = line;
        return;
    }
    auto lastKey = std::find_if(section.lines.rbegin(), section.lines.rend(), [](const Line& l) { return !l.key.empty(); });
    section.lines.insert(lastKey.base(), line);
}

void Unset(Section& section, const std::string& key)
{
    section.lines.erase(std::remove_if(section.lines.begin(), section.lines.end(), [&](const Line& l) { return l.key == key; }),
                        section.lines.end());
}

std::vector<std::string> SplitList(const std::string& value)
{
    std::vector<std::string> items;
    size_t start = 0;
    while (start <= value.size()) {
        size_t comma = std::min(value.find(',', start), value.size());
        std::string item = Trim(value.substr(start, comma - start));
        if (!item.empty()) {
            items.push_back(item);
        }
        start = comma + 1;
    }
    return items;
}

std::string JoinList(const std::vector<std::string>& items)
{
    std::string joined;
    for (const std::string& item : items) {
        joined += (joined.empty() ? "" : ", ") + item;
    }
    return joined;
}

// A value goes into the file as one line that the service reads back as it
// is: no line breaks or other control characters, no list separators in
// names, nothing that would start a comment or section.
std::string Checked(const std::string& what, const std::string& value, bool optional = false)
{
    bool bad = std::any_of(value.begin(), value.end(), [](char c) {
        return std::iscntrl(static_cast<unsigned char>(c)) || c == ',' || c == '[' || c == ']' || c == '#' || c == ';';
    });
    if ((value.empty() && !optional) || bad || Trim(value) != value) {
        throw SssdConfigError("cannot write the " + what + " '" + value + "' into the SSSD configuration");
    }
    return value;
}

std::string ReadFile(const std::string& path)
{
    std::string text;
    const int error = orvauth_base::ReadWholeFile(path, text);
    if (error != 0 && error != ENOENT) {
        throw SssdConfigError("cannot read " + path + ": " + std::strerror(error));
    }
    return text;
}

// The service refuses a configuration that others can read, so the file is
// 0600 whatever it was before; its owner is kept, and a link stays a link.
// The rename makes the change all or nothing.
void ReplaceConfiguration(const std::string& path, const std::string& text)
{
    if (const int error = orvauth_base::ReplaceFile(path, text, 0600, orvauth_base::ExistingMode::Reset).error) {
        throw SssdConfigError("cannot write " + path + ": " + std::strerror(error));
    }
}

}  // namespace

SssdSettings SssdSettings::Defaults()
{
    return SssdSettings{ORVAUTH_SSSD_CONF, "/usr/bin/systemctl", "/run/systemd/system", "sssd.service"};
}

std::string WithDomain(const std::string& current, const SssdDomain& domain)
{
    const std::string name = Checked("domain name", domain.dnsName);
    const std::string realm = domain.realm.empty() ? orvauth_base::ToUpper(name) : domain.realm;
    std::vector<std::string> servers;
    for (const std::string& controller : domain.preferredControllers) {
        servers.push_back(Checked("domain controller", controller));
    }
    if (!servers.empty()) {
        servers.push_back("_srv_");  // discovery stays the fallback when none of them answers
    }
    const std::vector<std::pair<std::string, std::string>> keys = {
        {"id_provider", "ad"},
        {"auth_provider", "ad"},
        {"chpass_provider", "ad"},
        // Nobody logs in until the operator says who may (orvauthctl
        // logins permit, whose snippet in conf.d overrides this).
        {"access_provider", "deny"},
        {"ad_domain", name},
        {"krb5_realm", Checked("realm", realm)},
        {"krb5_keytab", Checked("keytab", domain.keytab)},
        {"ldap_sasl_authid", Checked("host principal", domain.hostPrincipal)},
        {"ad_hostname", Checked("host name", domain.hostName, true)},
        {"ad_server", JoinList(servers)},
        {"use_fully_qualified_names", "True"},
        // A user who logged in once can do so while no controller answers.
        {"cache_credentials", "True"},
        // A dead controller costs seconds: SSSD gives up on it and goes
        // offline (cached credentials) after these rather than its defaults
        // (6 s for Kerberos, 6 to connect, 8 per LDAP call, 6 for DNS). A
        // controller slower than that is taken as dead too (docs/plugins.md).
        {"krb5_auth_timeout", "2"},
        {"ldap_network_timeout", "2"},
        {"ldap_opt_timeout", "3"},
        {"dns_resolver_server_timeout", "1000"},
        {"dns_resolver_op_timeout", "1"},
        {"dns_resolver_timeout", "2"},
        // The machine password is renewed by SSSD (adcli update on the
        // keytab above) when it is older than this many days.
        {"ad_maximum_machine_account_password_age", "30"},
        // The host's DNS records are the operator's, not the service's.
        {"dyndns_update", "False"},
        // Users the directory gives no shell get the one local users get,
        // rather than an empty field each program reads its own way.
        {"default_shell", domain.defaultShell.empty() ? "" : Checked("default shell", domain.defaultShell)},
        {"fallback_homedir", domain.homeDirectory.empty() ? HOME_PATTERN : Checked("home directory", domain.homeDirectory)},
        // The service then binds over TLS without a SASL security layer.
        {"ad_use_ldaps", domain.useLdaps ? "True" : ""},
        // SSSD 2.8 finds its site by a netlogon ping over TCP 389 even then,
        // and goes offline when that port is closed: without sites it asks
        // the domain's SRV records only.
        {"ad_enable_dns_sites", domain.useLdaps ? "False" : ""},
    };

    IniFile file(current);
    const bool created = file.Find(SERVICE_SECTION) == nullptr;
    Section& service = file.Get(SERVICE_SECTION);
    for (const auto& key : BASE_KEYS) {
        if (created) {
            Set(service, key[0], key[1]);
        }
    }
    std::vector<std::string> domains = SplitList(Value(service, "domains"));
    if (std::find(domains.begin(), domains.end(), name) == domains.end()) {
        domains.push_back(name);
    }
    Set(service, "domains", JoinList(domains));
    // Short names are taken as names of this domain; names are shown fully
    // qualified (the suffix makes that the default for every domain).
    Set(service, "default_domain_suffix", name);

    file.Erase(DOMAIN_PREFIX + name);
    Section& section = file.Get(DOMAIN_PREFIX + name);
    for (const auto& key : keys) {
        if (!key.second.empty()) {
            section.lines.push_back(Line{key.first + " = " + key.second, key.first});
        }
    }
    return file.Text();
}

std::string WithoutDomain(const std::string& current, const std::string& dnsName)
{
    IniFile file(current);
    bool mentioned = file.Find(DOMAIN_PREFIX + dnsName) != nullptr;
    file.Erase(DOMAIN_PREFIX + dnsName);
    if (Section* service = file.Find(SERVICE_SECTION)) {
        std::vector<std::string> domains = SplitList(Value(*service, "domains"));
        auto kept = std::remove(domains.begin(), domains.end(), dnsName);
        if (kept != domains.end()) {
            mentioned = true;
            domains.erase(kept, domains.end());
            if (domains.empty()) {
                Unset(*service, "domains");
            } else {
                Set(*service, "domains", JoinList(domains));
            }
        }
        if (Value(*service, "default_domain_suffix") == dnsName) {
            mentioned = true;
            Unset(*service, "default_domain_suffix");
        }
    }
    if (!mentioned) {
        return current;
    }
    // Only blank lines and the keys Configure adds when missing left: the
    // file was Configure's own.
    for (const Section& section : file.sections) {
        for (const Line& line : section.lines) {
            bool base = section.name == SERVICE_SECTION &&
                        std::any_of(std::begin(BASE_KEYS), std::end(BASE_KEYS),
                                    [&](const auto& key) { return line.key == key[0] && Value(section, key[0]) == key[1]; });
            if (!base && !Trim(line.text).empty()) {
                return file.Text();
            }
        }
        if (!section.name.empty() && section.name != SERVICE_SECTION) {
            return file.Text();
        }
    }
    return "";
}

SssdConfig::SssdConfig(SssdSettings settings) : settings(std::move(settings)) {}

void SssdConfig::Configure(const SssdDomain& domain) const
{
    ReplaceConfiguration(settings.configPath, WithDomain(ReadFile(settings.configPath), domain));
    syslog(LOG_INFO, "SSSD configured for domain '%s' in %s", domain.dnsName.c_str(), settings.configPath.c_str());
    ControlService(Restart::Restart);
}

void SssdConfig::Remove(const std::string& dnsName) const
{
    const std::string current = ReadFile(settings.configPath);
    const std::string remaining = WithoutDomain(current, dnsName);
    if (remaining == current) {
        return;
    }
    if (remaining.empty()) {
        if (::unlink(settings.configPath.c_str()) != 0) {
            throw SssdConfigError("cannot remove " + settings.configPath + ": " + std::strerror(errno));
        }
    } else {
        ReplaceConfiguration(settings.configPath, remaining);
    }
    syslog(LOG_INFO, "SSSD configuration for domain '%s' removed from %s", dnsName.c_str(), settings.configPath.c_str());
    ControlService(remaining.find("[domain/") == std::string::npos ? Restart::Stop : Restart::Restart);
}

void SssdConfig::ControlService(Restart action) const
{
    const bool restart = action == Restart::Restart;
    const orvauth_base::SssdOutcome outcome = orvauth_base::ControlSssd(
        {settings.systemctl, settings.managerRunning, settings.unit},
        restart ? orvauth_base::SssdAction::Restart : orvauth_base::SssdAction::Stop);
    if (!outcome.managed) {
        syslog(LOG_NOTICE, restart ? "No service manager is running: start SSSD (sssd) for the domain's users to log in"
                                   : "No service manager is running: SSSD (sssd) serves no domain any more and can be stopped");
    } else if (!outcome.failure.empty()) {
        syslog(LOG_ERR, "SSSD could not be %s: %s", restart ? "restarted" : "stopped", outcome.failure.c_str());
    }
}

}  // namespace adclient
