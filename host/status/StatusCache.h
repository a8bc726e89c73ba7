// The directory's last complete answers to status, kept in the state
// directory with the time they were obtained, so that a status run that
// cannot reach a domain controller still shows what the host was told last.
// Nothing in it is secret: names of domains, controllers and the machine
// account.
#pragma once

#include <orvane/host/Status.h>

#include <memory>
#include <string>

namespace orvane::host {

// Replaces the file atomically; a failure only costs later runs the
// fallback, so it is logged, never thrown.
void SaveDirectoryAnswers(const std::string& path, const CachedDirectoryAnswers& answers);

// The directory's part of status when no controller answers: the kept
// answers for everything the plug-in cannot tell without the directory;
// of the plug-in only its own records are asked (joined domain, preferred
// controllers, the host's principal), which take no time.
DirectoryStatus KeptDirectoryStatus(const std::shared_ptr<const orvane::authentication::ActiveDirectoryStore>& store,
                                    const std::string& cachePath);

// The current time in the form of `obtained`.
std::string UtcNow();

}  // namespace orvane::host
