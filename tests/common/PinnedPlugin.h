// Test plug-ins as the library finds them: their paths in the build's
// plug-in directory, whether one is mapped, and a handle a test holds itself
// so the plug-in's data (scripts, counters) stays mapped while the library
// loads and unloads the same file.
#pragma once

#include "BuildPaths.h"

#include <dlfcn.h>
#include <stdexcept>
#include <string>

namespace orvauth_test {

inline std::string PluginPath(const std::string& name, bool inLib64 = false)
{
    return std::string(ORVAUTH_PLUGIN_DIR) + (inLib64 ? "/lib64" : "") + "/lib" + name + ".so";
}

// True while something in the process still has the plug-in file mapped.
inline bool IsLoaded(const std::string& path)
{
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    return handle != nullptr && dlclose(handle) == 0;
}

class PinnedPlugin {
public:
    explicit PinnedPlugin(const std::string& path) : path(path), handle(dlopen(path.c_str(), RTLD_NOW | RTLD_GLOBAL))
    {
        if (handle == nullptr) {
            const char* error = dlerror();
            throw std::runtime_error("cannot pin test plug-in: " + std::string(error ? error : path));
        }
    }
    ~PinnedPlugin() { dlclose(handle); }
    PinnedPlugin(const PinnedPlugin&) = delete;
    PinnedPlugin& operator=(const PinnedPlugin&) = delete;

    // Looked up through this handle: variants export the same names.
    void* Symbol(const char* name) const
    {
        void* symbol = dlsym(handle, name);
        if (symbol == nullptr) {
            throw std::runtime_error(path + " lacks " + name);
        }
        return symbol;
    }

private:
    std::string path;
    void* handle;
};

}  // namespace orvauth_test
