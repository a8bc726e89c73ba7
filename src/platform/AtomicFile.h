// Whole-file reads and atomic replacement for the host's text files.
// Failures throw ZodCtl::Network::NetworkConfigException.
#pragma once

#include <string>
#include <sys/types.h>

namespace OrvPlatform {
namespace Detail {

// False when the file does not exist.
bool ReadTextFile(const std::string& path, std::string& content);

// Replaces the file (the target of a symbolic link) so that readers see the
// old or the new text, never a part; keeps the mode and, where permitted,
// the owner. A new file gets newFileMode.
void ReplaceFile(const std::string& path, const std::string& content, mode_t newFileMode);

}  // namespace Detail
}  // namespace OrvPlatform
