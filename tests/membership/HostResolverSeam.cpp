#include "HostResolverSeam.h"

#include <cerrno>
#include <cstring>
#include <netdb.h>

membership_test::HostResolverScript& membership_test::Resolver()
{
    static HostResolverScript script;
    return script;
}

namespace {

// The name lives in the caller's storage, as the C library's does.
struct hostent* FillEntry(struct hostent* entry, const std::string& name, char* storage, size_t length)
{
    static char* none[1] = {nullptr};
    if (name.size() + 1 > length) {
        return nullptr;
    }
    std::memcpy(storage, name.c_str(), name.size() + 1);
    *entry = hostent{storage, none, AF_INET, 4, none};
    return entry;
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) int gethostname(char* name, size_t length)
{
    const std::string& host = membership_test::Resolver().hostName;
    if (host.empty() || host.size() + 1 > length) {
        errno = host.empty() ? EFAULT : ENAMETOOLONG;
        return -1;
    }
    std::memcpy(name, host.c_str(), host.size() + 1);
    return 0;
}

__attribute__((visibility("default"))) int gethostbyname_r(const char* name, struct hostent* entry, char* buffer,
                                                           size_t length, struct hostent** result, int* resolverError)
{
    membership_test::HostResolverScript& script = membership_test::Resolver();
    *result = nullptr;
    *resolverError = HOST_NOT_FOUND;
    if (script.resolverFailures.count(name) != 0) {
        *resolverError = script.resolverFailures[name];
        return EAGAIN;
    }
    if (script.resolutions.count(name) != 0) {
        *result = FillEntry(entry, script.resolutions[name], buffer, length);
        return *result == nullptr ? ERANGE : 0;
    }
    return 0;
}

__attribute__((visibility("default"))) struct hostent* gethostbyname(const char* name)
{
    static struct hostent entry;
    static char storage[256];
    h_errno = HOST_NOT_FOUND;
    const bool known = membership_test::Resolver().resolvableDomains.count(name) != 0;
    return known ? FillEntry(&entry, name, storage, sizeof storage) : nullptr;
}

}
