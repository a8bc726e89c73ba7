#include "ServiceConfiguration.h"

#include "base/KeyValueLine.h"
#include "base/ProxyProtocol.h"

#include <orvane/authentication/Configuration.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace orvauth_proxyd {

using orvauth_base::SecretString;

namespace {

const std::set<std::string> KNOWN_KEYS = {"listen_address", "listen_port", "certificate", "private_key",
                                          "credentials", "directory_uri", "directory_ca_file",
                                          "default_container"};

std::string Required(const orvane::authentication::Configuration& file, const char* key)
{
    const auto found = file.find(key);
    if (found == file.end() || found->second.empty()) {
        throw ConfigurationRefused(file.Path() + ": \"" + key + "\" is not set");
    }
    return found->second;
}

int Port(const std::string& path, const std::string& text)
{
    char* end = nullptr;
    const long port = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || port < 1 || port > 65535) {
        throw ConfigurationRefused(path + ": listen_port \"" + text + "\" is not a port number");
    }
    return static_cast<int>(port);
}

}  // namespace

ServiceConfiguration ReadServiceConfiguration(const std::string& path)
{
    std::unique_ptr<orvane::authentication::Configuration> file;
    try {
        file.reset(new orvane::authentication::Configuration(path));
    } catch (const std::exception& error) {
        throw ConfigurationRefused(path + ": " + error.what());
    }
    for (const auto& entry : *file) {
        if (KNOWN_KEYS.count(entry.first) == 0) {
            throw ConfigurationRefused(path + ": unknown key \"" + entry.first + "\"");
        }
    }
    ServiceConfiguration settings;
    settings.listenAddress = Required(*file, "listen_address");
    settings.listenPort = file->count("listen_port") != 0 ? Port(path, file->at("listen_port"))
                                                          : orvauth_proxy::DEFAULT_PORT;
    settings.certificate = Required(*file, "certificate");
    settings.privateKey = Required(*file, "private_key");
    settings.credentials = Required(*file, "credentials");
    settings.directoryUri = Required(*file, "directory_uri");
    settings.directoryCaFile = Required(*file, "directory_ca_file");
    settings.defaultContainer = file->count("default_container") != 0 ? file->at("default_container")
                                                                      : "CN=Computers";
    if (settings.directoryUri.rfind("ldaps://", 0) != 0 && settings.directoryUri.rfind("ldap://", 0) != 0) {
        throw ConfigurationRefused(path + ": directory_uri must start with ldaps:// or ldap://");
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
