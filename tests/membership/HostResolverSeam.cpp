#include "HostResolverSeam.h"

#include <cerrno>
#include <cstring>
#include <netdb.h>

namespace membership_test {

HostResolverScript& Resolver()
{
    static HostResolverScript script;
    return script;
}

}  // namespace membership_test

namespace {

void FillEntry(struct hostent* entry, char* name)
{
    static char* none[1] = {nullptr};
    entry->h_name = name;
    entry->h_aliases = none;
    entry->h_addrtype = AF_INET;
    entry->h_length = 4;
    entry->h_addr_list = none;
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) int gethostname(char* name, size_t length)
{
    membership_test::HostResolverScript& script = membership_test::Resolver();
    if (script.hostName.empty()) {
        errno = EFAULT;
        return -1;
    }
    if (script.hostName.size() + 1 > length) {
        errno = ENAMETOOLONG;
        return -1;
    }
    std::memcpy(name, script.hostName.c_str(), script.hostName.size() + 1);
    return 0;
}

__attribute__((visibility("default"))) int gethostbyname_r(const char* name, struct hostent* entry, char* buffer,
                                                           size_t length, struct hostent** result, int* resolverError)
{
    membership_test::HostResolverScript& script = membership_test::Resolver();
    script.reentrantLookups.push_back(name);
    *result = nullptr;
    auto failure = script.resolverFailures.find(name);
    if (failure != script.resolverFailures.end()) {
        *resolverError = failure->second;
        return EAGAIN;
    }
    auto found = script.resolutions.find(name);
    if (found == script.resolutions.end()) {
        *resolverError = HOST_NOT_FOUND;
        return 0;
    }
    // The official name lives in the caller's buffer, as the C library's does.
    if (found->second.size() + 1 > length) {
        *resolverError = NETDB_INTERNAL;
        return ERANGE;
    }
    std::memcpy(buffer, found->second.c_str(), found->second.size() + 1);
    FillEntry(entry, buffer);
    *result = entry;
    return 0;
}

__attribute__((visibility("default"))) struct hostent* gethostbyname(const char* name)
{
    membership_test::HostResolverScript& script = membership_test::Resolver();
    script.domainLookups.push_back(name);
    if (script.resolvableDomains.count(name) == 0) {
        h_errno = HOST_NOT_FOUND;
        return nullptr;
    }
    // Static, as the C library's answer is.
    static struct hostent entry;
    static std::string entryName;
    entryName = name;
    FillEntry(&entry, &entryName[0]);
    return &entry;
}

}
