// Finding and opening a client plug-in. Both plug-in wrappers load their
// shared objects through here, so they accept the same names and refuse the
// same files.
#pragma once

#include <stdexcept>
#include <string>

namespace orvane {
namespace authentication {

// A plug-in that must not be loaded: what() says why, Name() is the
// requested name with control characters escaped, fit for a message.
class UnsafePluginError : public std::runtime_error {
public:
    UnsafePluginError(const std::string& name, const std::string& reason);
    const std::string& Name() const { return name; }

private:
    std::string name;
};

// Opens lib<name>.so from the plug-in directory's lib64/ subdirectory, else
// from the directory itself, with RTLD_LAZY | RTLD_GLOBAL. Returns null when
// neither opens, with the loader's text for the second attempt in
// loaderError. Throws UnsafePluginError for a name that is not a plain file
// name, and for a file or directory on the way that someone other than root
// or this process's user owns or could write (the plug-in directory, its
// lib64/, the file itself).
void* OpenPluginFile(const std::string& name, std::string& loaderError);

// The reason the plug-in behind handle gives for the calling thread's last
// failed call (ORVAUTH_PLUGIN_FAILURE_REASON_SYMBOL), control characters
// escaped; "" when it gives none.
std::string PluginFailureReason(void* handle);

}  // namespace authentication
}  // namespace orvane
