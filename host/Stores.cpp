#include <orvane/host/Stores.h>

#include <orvane/authentication/ActiveDirectoryProvider.h>
#include <orvane/authentication/Configuration.h>
#include <orvane/authentication/Exceptions.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace orvane::host {

using namespace orvane::authentication;

const char* const DIRECTORY_STORE = "Active Directory";

namespace {

AuthenticationStoreFactory& Factory()
{
    AuthenticationStoreFactory* factory = Singleton<AuthenticationStoreFactory>::_instance;
    if (factory == nullptr) {
        throw std::runtime_error("the authentication store factory is not available");
    }
    return *factory;
}

}  // namespace

std::vector<std::string> RegisteredStores() { return Factory().GetRegisteredStores(); }

std::unique_ptr<AuthenticationStore> CreateStore(const std::string& name)
{
    std::unique_ptr<AuthenticationStore> store = Factory().CreateInstance(name);
    if (!store) {
        std::string known;
        for (const std::string& each : RegisteredStores()) {
            known += (known.empty() ? "\"" : ", \"") + each + "\"";
        }
        throw UnknownStoreName(UnknownRemoteAuthenticationStoreException(name).what() + std::string("; the stores are ") +
                               known);
    }
    return store;
}

namespace {

// The library reports any provider.conf it cannot read as "(none
// installed)"; an operator needs to hear that the file is there but broken.
void CheckProviderFile()
{
    const std::string path = ProviderConfiguration::DefaultPath();
    struct stat info;
    if (stat(path.c_str(), &info) != 0) {
        if (errno == ENOENT) {
            return;  // nothing installed, as the library says
        }
        throw std::runtime_error("cannot read '" + path + "': " + std::strerror(errno));
    }
    if (!S_ISREG(info.st_mode)) {
        throw std::runtime_error("cannot read '" + path + "': not a regular file");
    }
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        throw std::runtime_error("cannot read '" + path + "': " + std::strerror(errno));
    }
    close(fd);
}

}  // namespace

std::unique_ptr<ActiveDirectoryStore> CreateDirectoryStore()
{
    CheckProviderFile();
    std::unique_ptr<AuthenticationStore> store = CreateStore(DIRECTORY_STORE);
    auto* directory = dynamic_cast<ActiveDirectoryStore*>(store.get());
    if (directory == nullptr) {
        throw InvalidRemoteAuthenticationStoreException(DIRECTORY_STORE);
    }
    store.release();
    return std::unique_ptr<ActiveDirectoryStore>(directory);
}

std::string RecordedActiveStore()
{
    return AuthenticationConfiguration().ActiveStore();
}

}  // namespace orvane::host

namespace orvane::host {

std::string JoinedDomain()
{
    try {
        return CreateDirectoryStore()->Provider()->GetActiveDomain().dnsName;
    } catch (const Exception& e) {
        if (e.Code() == 2) {  // the plug-in's "file not found": no membership
            return "";
        }
        throw;
    }
}

}  // namespace orvane::host
