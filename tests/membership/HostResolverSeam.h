// Test seam: the test program defines gethostname, gethostbyname_r and
// gethostbyname itself, so the library sees the host name and resolver
// answers scripted here instead of the machine's own.
#pragma once

#include <map>
#include <set>
#include <string>

namespace membership_test {

struct HostResolverScript {
    // Empty: gethostname fails. A name that does not fit the length given,
    // NUL included, fails as the C library's does.
    std::string hostName;
    // gethostbyname_r: name -> official name; unlisted names are not found.
    std::map<std::string, std::string> resolutions;
    // gethostbyname_r fails for the name with this resolver error code.
    std::map<std::string, int> resolverFailures;
    // Names gethostbyname finds (the domain lookup before the search list).
    std::set<std::string> resolvableDomains;
};

// The one script of the process; assign {} to reset it.
HostResolverScript& Resolver();

inline void SetHost(const std::string& name, const std::string& officialName)
{
    Resolver().hostName = name;
    Resolver().resolutions[name] = officialName;
}

}  // namespace membership_test
