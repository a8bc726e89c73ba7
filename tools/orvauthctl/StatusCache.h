// The directory's last complete answers to status, kept in the tool's state
// directory with the time they were obtained, so that a status run that
// cannot reach a domain controller still shows what the host was told last.
// Nothing in it is secret: names of domains, controllers and the machine
// account.
#pragma once

#include <orvane/authentication/ActiveDirectoryClient.h>
#include <orvane/authentication/ActiveDirectoryStore.h>

#include <deque>
#include <string>

namespace orvauthctl {

struct CachedDirectoryAnswers {
    std::string obtained;  // UTC, ISO 8601 ("2026-12-07T03:40:12Z")
    orvane::authentication::ActiveDirectoryStoreConfiguration configuration;
    std::deque<orvane::authentication::Domain> trustedDomains;
    TrustState trustState = 0;
};

// The answers kept at path; false when there are none or they cannot be
// read (a cache that is not there is no error).
bool LoadDirectoryAnswers(const std::string& path, CachedDirectoryAnswers& answers);

// Replaces the file atomically; a failure only costs later runs the
// fallback, so it is logged, never thrown.
void SaveDirectoryAnswers(const std::string& path, const CachedDirectoryAnswers& answers);

// The current time in the form of `obtained`.
std::string UtcNow();

}  // namespace orvauthctl
