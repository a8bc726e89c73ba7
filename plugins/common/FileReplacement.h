// Writing files for the plug-ins, which do not link the library and so
// cannot use its atomic stream.
#pragma once

#include <string>
#include <sys/types.h>

namespace orvauth_plugin {

// Writes all of text to fd, resuming after interrupted or short writes.
bool WriteAll(int fd, const std::string& text);

// Replaces the file at path with text, all or nothing: a temporary file
// beside it carries mode from its first byte, is synced, then renamed over
// it. Returns 0, or the errno of the step that failed; the temporary file
// is gone either way.
int ReplaceFile(const std::string& path, const std::string& text, mode_t mode);

}  // namespace orvauth_plugin
