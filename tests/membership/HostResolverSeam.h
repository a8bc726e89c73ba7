// Test seam: the test program defines gethostname, gethostbyname_r and
// gethostbyname itself, so the library's calls see the host name and the
// resolver answers scripted here instead of the machine's own.
#pragma once

#include <string>
#include <vector>

namespace membership_test {

// Back to: gethostname fails, nothing resolves, no calls recorded.
void ResetHostResolver();

// gethostname reports this name, failing with ENAMETOOLONG when the name
// and its NUL do not fit the length it is given, as the C library does.
void SetHostName(const std::string& name);
void FailGetHostName();

// gethostbyname_r answers `officialName` for `name`. Names never scripted
// give the C library's "not found": success with no entry.
void SetResolution(const std::string& name, const std::string& officialName);
// gethostbyname_r fails for `name` with a non-zero result and this resolver
// error code (h_errno value).
void SetResolverFailure(const std::string& name, int resolverError);

// gethostbyname finds `name` (the domain lookup before changing the DNS
// search list).
void SetDomainResolvable(const std::string& name);

std::vector<std::string> ReentrantLookups();     // names asked of gethostbyname_r
std::vector<std::string> DomainLookups();        // names asked of gethostbyname
unsigned GetHostNameCalls();

}  // namespace membership_test
