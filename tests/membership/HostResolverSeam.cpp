#include "HostResolverSeam.h"

#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <netdb.h>
#include <set>

namespace membership_test {
namespace {

struct Resolution {
    std::string officialName;
    int resolverError = 0;  // non-zero: the call fails with this code
};

struct ResolverState {
    bool hostNameAvailable = false;
    std::string hostName;
    std::map<std::string, Resolution> resolutions;
    std::set<std::string> resolvableDomains;
    std::vector<std::string> reentrantLookups;
    std::vector<std::string> domainLookups;
    unsigned getHostNameCalls = 0;

    // What gethostbyname hands out; the C library's is static too.
    struct hostent domainEntry;
    std::string domainEntryName;
    char* noAliases[1] = {nullptr};
    char* noAddresses[1] = {nullptr};
};

std::mutex& SeamMutex()
{
    static std::mutex mutex;
    return mutex;
}

ResolverState& State()
{
    static ResolverState state;
    return state;
}

}  // namespace

void ResetHostResolver()
{
    std::lock_guard<std::mutex> guard(SeamMutex());
    ResolverState& state = State();
    state.hostNameAvailable = false;
    state.hostName.clear();
    state.resolutions.clear();
    state.resolvableDomains.clear();
    state.reentrantLookups.clear();
    state.domainLookups.clear();
    state.getHostNameCalls = 0;
}

void SetHostName(const std::string& name)
{
    std::lock_guard<std::mutex> guard(SeamMutex());
    State().hostNameAvailable = true;
    State().hostName = name;
}

void FailGetHostName()
{
    std::lock_guard<std::mutex> guard(SeamMutex());
    State().hostNameAvailable = false;
}

void SetResolution(const std::string& name, const std::string& officialName)
{
    std::lock_guard<std::mutex> guard(SeamMutex());
    State().resolutions[name] = Resolution{officialName, 0};
}

void SetResolverFailure(const std::string& name, int resolverError)
{
    std::lock_guard<std::mutex> guard(SeamMutex());
    State().resolutions[name] = Resolution{std::string(), resolverError};
}

void SetDomainResolvable(const std::string& name)
{
    std::lock_guard<std::mutex> guard(SeamMutex());
    State().resolvableDomains.insert(name);
}

std::vector<std::string> ReentrantLookups()
{
    std::lock_guard<std::mutex> guard(SeamMutex());
    return State().reentrantLookups;
}

std::vector<std::string> DomainLookups()
{
    std::lock_guard<std::mutex> guard(SeamMutex());
    return State().domainLookups;
}

unsigned GetHostNameCalls()
{
    std::lock_guard<std::mutex> guard(SeamMutex());
    return State().getHostNameCalls;
}

}  // namespace membership_test

using membership_test::ResolverState;

extern "C" {

__attribute__((visibility("default"))) int gethostname(char* name, size_t length)
{
    std::lock_guard<std::mutex> guard(membership_test::SeamMutex());
    ResolverState& state = membership_test::State();
    ++state.getHostNameCalls;
    if (!state.hostNameAvailable) {
        errno = EFAULT;
        return -1;
    }
    if (state.hostName.size() + 1 > length) {
        errno = ENAMETOOLONG;
        return -1;
    }
    std::memcpy(name, state.hostName.c_str(), state.hostName.size() + 1);
    return 0;
}

__attribute__((visibility("default"))) int gethostbyname_r(const char* name, struct hostent* entry, char* buffer,
                                                           size_t length, struct hostent** result, int* resolverError)
{
    std::lock_guard<std::mutex> guard(membership_test::SeamMutex());
    ResolverState& state = membership_test::State();
    state.reentrantLookups.push_back(name);
    *result = nullptr;
    auto found = state.resolutions.find(name);
    if (found == state.resolutions.end()) {
        *resolverError = HOST_NOT_FOUND;
        return 0;
    }
    if (found->second.resolverError != 0) {
        *resolverError = found->second.resolverError;
        return EAGAIN;
    }
    // The official name lives in the caller's buffer, as the C library's does.
    const std::string& official = found->second.officialName;
    if (official.size() + 1 > length) {
        *resolverError = NETDB_INTERNAL;
        return ERANGE;
    }
    std::memcpy(buffer, official.c_str(), official.size() + 1);
    entry->h_name = buffer;
    entry->h_aliases = state.noAliases;
    entry->h_addrtype = AF_INET;
    entry->h_length = 4;
    entry->h_addr_list = state.noAddresses;
    *result = entry;
    return 0;
}

__attribute__((visibility("default"))) struct hostent* gethostbyname(const char* name)
{
    std::lock_guard<std::mutex> guard(membership_test::SeamMutex());
    ResolverState& state = membership_test::State();
    state.domainLookups.push_back(name);
    if (state.resolvableDomains.count(name) == 0) {
        h_errno = HOST_NOT_FOUND;
        return nullptr;
    }
    state.domainEntryName = name;
    state.domainEntry.h_name = &state.domainEntryName[0];
    state.domainEntry.h_aliases = state.noAliases;
    state.domainEntry.h_addrtype = AF_INET;
    state.domainEntry.h_length = 4;
    state.domainEntry.h_addr_list = state.noAddresses;
    return &state.domainEntry;
}

}
