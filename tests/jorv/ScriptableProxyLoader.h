// C++ side of the scriptable proxy plug-in (ScriptableProxy.h): pins one
// variant for the lifetime of the object, resets it, and gives access to
// its control block and table.
#pragma once

#include "BuildPaths.h"
#include "ScriptableProxy.h"

#include <orvane/authentication/JORVProxyClient.h>

#include <dlfcn.h>
#include <stdexcept>
#include <string>

namespace jorv_test {

inline std::string ProxyPluginPath(const std::string& name, bool inLib64)
{
    return std::string(ORVAUTH_PLUGIN_DIR) + (inLib64 ? "/lib64" : "") + "/lib" + name + ".so";
}

// True while something in the process still has the plug-in file mapped.
inline bool IsLoaded(const std::string& path)
{
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle != nullptr) {
        dlclose(handle);
    }
    return handle != nullptr;
}

class ScriptableProxy {
public:
    explicit ScriptableProxy(const std::string& name = "jorvproxy", bool inLib64 = true)
        : path(ProxyPluginPath(name, inLib64)), handle(dlopen(path.c_str(), RTLD_NOW | RTLD_GLOBAL))
    {
        if (handle == nullptr) {
            throw std::runtime_error("cannot pin test plug-in " + path);
        }
        control = static_cast<ScriptableProxyControl*>(Symbol(SCRIPTABLE_PROXY_CONTROL_SYMBOL));
        Reset();
    }
    ~ScriptableProxy() { dlclose(handle); }
    ScriptableProxy(const ScriptableProxy&) = delete;
    ScriptableProxy& operator=(const ScriptableProxy&) = delete;

    ScriptableProxyControl* operator->() { return control; }
    // Default answers, a complete table and nothing recorded.
    void Reset() { reinterpret_cast<void (*)(void)>(Symbol(SCRIPTABLE_PROXY_RESET_SYMBOL))(); }
    JORVProxyClientOperations& Table()
    {
        return *static_cast<JORVProxyClientOperations*>(Symbol(JORV_PROXY_CLIENT_OPERATIONS_SYMBOL));
    }

private:
    void* Symbol(const char* name) const
    {
        void* symbol = dlsym(handle, name);
        if (symbol == nullptr) {
            throw std::runtime_error(path + " lacks " + name);
        }
        return symbol;
    }

    std::string path;
    void* handle;
    ScriptableProxyControl* control = nullptr;
};

}  // namespace jorv_test
