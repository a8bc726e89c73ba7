#include "ServiceConfiguration.h"

#include "base/AsciiText.h"
#include "base/KeyValueLine.h"
#include "base/ProxyProtocol.h"

#include "RequestChecks.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace orvauth_proxyd {

using orvauth_base::SecretString;

namespace {

const std::set<std::string> KNOWN_KEYS = {"listen_address", "listen_port", "certificate", "private_key",
                                          "credentials", "directory_uri", "directory_ca_file",
                                          "default_container", "client_ca_file", "client_crl_file",
                                          "allowed_containers", "max_account_requests_per_minute",
                                          "allowed_dns_suffixes"};
constexpr std::size_t MAX_CONFIGURATION_BYTES = 65536;

using Settings = std::map<std::string, std::string>;

// key = value lines (base/KeyValueLine.h), values optionally in double
// quotes.
Settings ReadSettings(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        throw ConfigurationRefused(path + ": " + std::strerror(errno));
    }
    std::string text(MAX_CONFIGURATION_BYTES + 1, '\0');
    file.read(&text[0], static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(file.gcount()));
    if (file.bad()) {
        throw ConfigurationRefused(path + ": cannot be read");
    }
    if (text.size() > MAX_CONFIGURATION_BYTES) {
        throw ConfigurationRefused(path + ": larger than 65536 bytes");
    }
    Settings settings;
    std::size_t number = 0;
    orvauth_base::ForEachLine(text, [&](const std::string& content) {
        const auto line = orvauth_base::ReadKeyValueLine(content);
        const std::string where = path + ", line " + std::to_string(++number) + ": ";
        if (line.kind == orvauth_base::LineKind::Empty) {
            return true;
        }
        if (line.kind == orvauth_base::LineKind::Malformed) {
            throw ConfigurationRefused(where + "not a \"key = value\" line");
        }
        std::string value = orvauth_base::Trim(line.value, " \t");
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
            value = value.substr(1, value.size() - 2);
        } else if (value.find('"') != std::string::npos) {
            throw ConfigurationRefused(where + "unbalanced quotes");
        }
        if (KNOWN_KEYS.count(line.key) == 0) {
            throw ConfigurationRefused(where + "unknown key \"" + line.key + "\"");
        }
        if (!settings.emplace(line.key, value).second) {
            throw ConfigurationRefused(where + "\"" + line.key + "\" is set twice");
        }
        return true;
    });
    return settings;
}

std::string Required(const std::string& path, const Settings& file, const char* key)
{
    const auto found = file.find(key);
    if (found == file.end() || found->second.empty()) {
        throw ConfigurationRefused(path + ": \"" + key + "\" is not set");
    }
    return found->second;
}

std::string Optional(const Settings& file, const char* key, const std::string& otherwise)
{
    const auto found = file.find(key);
    return found == file.end() ? otherwise : found->second;
}

long Number(const std::string& path, const char* key, const std::string& text, long least, long most)
{
    char* end = nullptr;
    errno = 0;
    const long number = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || number < least || number > most) {
        throw ConfigurationRefused(path + ": " + key + " \"" + text + "\" is not a number from " +
                                   std::to_string(least) + " to " + std::to_string(most));
    }
    return number;
}

// "name; name; ...": DNS names, in lower case.
std::vector<std::string> DnsSuffixes(const std::string& path, const std::string& text)
{
    std::vector<std::string> suffixes;
    for (std::size_t start = 0; start <= text.size();) {
        const std::size_t end = std::min(text.find(';', start), text.size());
        const std::string suffix = orvauth_base::ToLower(orvauth_base::Trim(text.substr(start, end - start), " \t"));
        if (DnsLabels(suffix).empty()) {
            throw ConfigurationRefused(path + ": allowed_dns_suffixes: \"" + suffix +
                                       "\" is not a DNS name (letters, digits and inner hyphens, labels between dots, "
                                       "no leading or trailing dot)");
        }
        suffixes.push_back(suffix);
        start = end + 1;
    }
    return suffixes;
}

// "DN; DN; ...": a backslash keeps the next character (an escaped ';' in a
// DN stays part of it).
std::vector<std::string> Containers(const std::string& path, const std::string& text)
{
    std::vector<std::string> containers;
    std::string current;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == ';') {
            const std::string container = orvauth_base::Trim(current, " \t");
            if (container.empty()) {
                throw ConfigurationRefused(path + ": allowed_containers has an empty entry");
            }
            containers.push_back(container);
            current.clear();
        } else {
            current += text[i];
            if (text[i] == '\\' && i + 1 < text.size()) {
                current += text[++i];
            }
        }
    }
    return containers;
}

}  // namespace

ServiceConfiguration ReadServiceConfiguration(const std::string& path)
{
    const Settings file = ReadSettings(path);
    ServiceConfiguration settings;
    settings.listenAddress = Required(path, file, "listen_address");
    settings.listenPort = static_cast<int>(
        Number(path, "listen_port", Optional(file, "listen_port", std::to_string(orvauth_proxy::DEFAULT_PORT)), 1, 65535));
    settings.certificate = Required(path, file, "certificate");
    settings.privateKey = Required(path, file, "private_key");
    settings.credentials = Required(path, file, "credentials");
    settings.directoryUri = Required(path, file, "directory_uri");
    settings.directoryCaFile = Required(path, file, "directory_ca_file");
    settings.defaultContainer = Optional(file, "default_container", "CN=Computers");
    settings.clientCaFile = Required(path, file, "client_ca_file");
    settings.clientCrlFile = Optional(file, "client_crl_file", "");
    settings.allowedContainers = Containers(path, Optional(file, "allowed_containers", settings.defaultContainer));
    settings.maxAccountRequestsPerMinute = static_cast<unsigned>(
        Number(path, "max_account_requests_per_minute", Optional(file, "max_account_requests_per_minute", "10"), 1, 100000));
    if (file.count("allowed_dns_suffixes") != 0) {
        settings.allowedDnsSuffixes = DnsSuffixes(path, file.at("allowed_dns_suffixes"));
    }
    if (settings.directoryUri.rfind("ldaps://", 0) != 0 && settings.directoryUri.rfind("ldap://", 0) != 0) {
        throw ConfigurationRefused(path + ": directory_uri must start with ldaps:// or ldap://");
    }
    for (const std::string& container : settings.allowedContainers) {
        try {
            CheckContainer(container);
        } catch (const RequestFailure&) {
            throw ConfigurationRefused(path + ": allowed_containers: \"" + container + "\" is not a container's DN");
        }
    }
    try {
        CheckContainer(settings.defaultContainer);
    } catch (const RequestFailure&) {
        throw ConfigurationRefused(path + ": default_container is not a container's DN");
    }
    return settings;
}

int OpenPrivateFile(const std::string& path)
{
    const int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (descriptor < 0) {
        throw ConfigurationRefused(path + ": " + std::strerror(errno));
    }
    struct stat status {};
    if (fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode) || (status.st_mode & 077) != 0) {
        close(descriptor);
        throw ConfigurationRefused(path + ": must be a regular file of mode 0600 or stricter");
    }
    return descriptor;
}

DirectoryCredentials ReadCredentials(const std::string& path)
{
    const int descriptor = OpenPrivateFile(path);
    SecretString text;
    text.reserve(4096);
    char chunk[512];
    ssize_t count = 0;
    while ((count = read(descriptor, chunk, sizeof chunk)) > 0 && text.size() + count <= 4096) {
        text.append(chunk, static_cast<std::size_t>(count));
    }
    explicit_bzero(chunk, sizeof chunk);
    close(descriptor);
    if (count != 0) {
        throw ConfigurationRefused(path + ": unreadable or larger than 4096 bytes");
    }
    DirectoryCredentials credentials;
    orvauth_base::ForEachLine(text, [&](const SecretString& text) {
        const auto line = orvauth_base::ReadKeyValueLine(text);
        if (line.kind == orvauth_base::LineKind::Malformed) {
            throw ConfigurationRefused(path + ": every line must read \"user = ...\" or \"password = ...\"");
        }
        if (line.key == "user") {
            credentials.user.assign(line.value.data(), line.value.size());
        } else if (line.key == "password") {
            credentials.password = line.value;
        } else if (line.kind == orvauth_base::LineKind::Entry) {
            throw ConfigurationRefused(path + ": unknown key \"" + line.key + "\"");
        }
        return true;
    });
    if (credentials.user.empty() || credentials.password.empty()) {
        throw ConfigurationRefused(path + ": both \"user\" and \"password\" must be set");
    }
    return credentials;
}

}  // namespace orvauth_proxyd
