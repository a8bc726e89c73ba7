// C++ side of the scriptable proxy plug-in (ScriptableProxy.h): pins one
// variant for the lifetime of the object, resets it, and gives access to
// its control block and table.
#pragma once

#include "ScriptableProxy.h"
#include "common/PinnedPlugin.h"

#include <orvane/authentication/JORVProxyClient.h>

#include <string>

namespace jorv_test {

using orvauth_test::IsLoaded;

class ScriptableProxy {
public:
    explicit ScriptableProxy(const std::string& name = "jorvproxy", bool inLib64 = true)
        : pinned(orvauth_test::PluginPath(name, inLib64))
    {
        control = static_cast<ScriptableProxyControl*>(Symbol(SCRIPTABLE_PROXY_CONTROL_SYMBOL));
        Reset();
    }
    ScriptableProxyControl* operator->() { return control; }
    // Default answers, a complete table and nothing recorded.
    void Reset() { reinterpret_cast<void (*)(void)>(Symbol(SCRIPTABLE_PROXY_RESET_SYMBOL))(); }
    JORVProxyClientOperations& Table()
    {
        return *static_cast<JORVProxyClientOperations*>(Symbol(JORV_PROXY_CLIENT_OPERATIONS_SYMBOL));
    }

private:
    void* Symbol(const char* name) const { return pinned.Symbol(name); }

    orvauth_test::PinnedPlugin pinned;
    ScriptableProxyControl* control = nullptr;
};

}  // namespace jorv_test
