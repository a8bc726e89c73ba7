// C++ side of the scriptable test plug-in (ScriptablePlugin.h): pins one
// variant for the object's lifetime (the library's dlopen of the same file
// shares the mapping, and so the control block), resets it, and wraps its
// functions. Script through -> only while no library call runs.
#pragma once

#include "common/PinnedPlugin.h"
#include "plugins/ScriptablePlugin.h"

#include <orvane/authentication/ActiveDirectoryClient.h>
#include <orvane/authentication/JORVProxyClient.h>

#include <string>

namespace orvauth_test {

class ScriptablePlugin {
public:
    explicit ScriptablePlugin(const std::string& name) : pinned(PluginPath(name)) { Reset(); }

    ScriptablePluginControl* operator->() { return &Symbol<ScriptablePluginControl>("ScriptablePluginControl"); }
    ScriptablePluginControl Read() const  // a consistent copy, also while library calls run
    {
        Function<ScriptableLockFunction>("ScriptablePluginLock")(1);
        ScriptablePluginControl copy = Symbol<ScriptablePluginControl>("ScriptablePluginControl");
        Function<ScriptableLockFunction>("ScriptablePluginLock")(0);
        return copy;
    }
    std::string Log() const { return Read().log; }
    unsigned Calls(int slot) const { return Read().calls[slot]; }

    void Reset() { Function<ScriptableResetFunction>("ScriptablePluginReset")(); }
    void Hold(int slot, bool held = true) { Function<ScriptableHoldFunction>("ScriptablePluginHold")(slot, held); }
    bool WaitForCalls(int slot, unsigned count)
    {
        return Function<ScriptableWaitFunction>("ScriptablePluginWaitForCalls")(slot, count) != 0;
    }

    // The exported records, read when the library loads the plug-in
    // (metadata) and when it calls it (operations).
    ActiveDirectoryClientMetadata& Metadata() { return Symbol<ActiveDirectoryClientMetadata>("ActiveDirectoryClientMetadata"); }
    ActiveDirectoryClientOperations& Operations()
    {
        return Symbol<ActiveDirectoryClientOperations>("ActiveDirectoryClientOperations");
    }
    JORVProxyClientOperations& ProxyTable()
    {
        return Symbol<JORVProxyClientOperations>(JORV_PROXY_CLIENT_OPERATIONS_SYMBOL);
    }
    void Remove(int slot)  // slot n lies at offset 8n
    {
        reinterpret_cast<void**>(&Operations())[slot] = nullptr;
    }

private:
    template <typename T>
    T& Symbol(const char* name) const { return *static_cast<T*>(pinned.Symbol(name)); }
    template <typename T>
    T Function(const char* name) const { return reinterpret_cast<T>(pinned.Symbol(name)); }

    PinnedPlugin pinned;
};

}  // namespace orvauth_test
