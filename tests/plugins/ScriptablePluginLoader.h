// C++ side of the scriptable test plug-in (ScriptablePlugin.h): pins one
// variant in the process for the lifetime of the object, resets it, and
// gives access to its control block.
//
//   orvauth_test::ScriptablePlugin plugin("scriptable");   // pinned and reset
//   plugin->status[SCRIPTABLE_SLOT_PART_DOMAIN] = 1326;     // script
//   plugin.Operations().GetActiveDomain = nullptr;           // drop a slot
//   ActiveDirectoryProvider provider("scriptable");          // same mapping
//   ...
//   EXPECT_EQ(1u, plugin.Read().calls[SCRIPTABLE_SLOT_PART_DOMAIN]);
//
// Read() copies the block under the plug-in's mutex, for tests whose
// library calls may still be running on worker threads.
#pragma once

#include "common/PinnedPlugin.h"
#include "plugins/ScriptablePlugin.h"

#include <orvane/authentication/ActiveDirectoryClient.h>

#include <string>

namespace orvauth_test {

class ScriptablePlugin {
public:
    // name is the provider name, e.g. "scriptable"; the copy in the base
    // plug-in directory is pinned unless inLib64 is set.
    explicit ScriptablePlugin(const std::string& name, bool inLib64 = false)
        : pinned(PluginPath(name, inLib64))
    {
        control = static_cast<ScriptablePluginControl*>(Symbol(SCRIPTABLE_PLUGIN_CONTROL_SYMBOL));
        reset = reinterpret_cast<ScriptablePluginFunction>(Symbol(SCRIPTABLE_PLUGIN_RESET_SYMBOL));
        lock = reinterpret_cast<ScriptablePluginFunction>(Symbol(SCRIPTABLE_PLUGIN_LOCK_SYMBOL));
        unlock = reinterpret_cast<ScriptablePluginFunction>(Symbol(SCRIPTABLE_PLUGIN_UNLOCK_SYMBOL));
        reset();
    }

    const std::string& Path() const { return pinned.Path(); }

    // Direct access, for scripting before the library calls the plug-in.
    ScriptablePluginControl* operator->() { return control; }
    ScriptablePluginControl& Control() { return *control; }

    // A consistent copy of the control block.
    ScriptablePluginControl Read() const
    {
        lock();
        ScriptablePluginControl copy = *control;
        unlock();
        return copy;
    }

    void Reset() { reset(); }

    // The exported records; change them before the library loads the
    // plug-in (metadata) or calls it (operations).
    ActiveDirectoryClientMetadata& Metadata()
    {
        return *static_cast<ActiveDirectoryClientMetadata*>(Symbol(ACTIVE_DIRECTORY_CLIENT_METADATA_SYMBOL));
    }
    ActiveDirectoryClientOperations& Operations()
    {
        return *static_cast<ActiveDirectoryClientOperations*>(Symbol(ACTIVE_DIRECTORY_CLIENT_OPERATIONS_SYMBOL));
    }

private:
    void* Symbol(const char* name) const { return pinned.Symbol(name); }

    PinnedPlugin pinned;
    ScriptablePluginControl* control = nullptr;
    ScriptablePluginFunction reset = nullptr;
    ScriptablePluginFunction lock = nullptr;
    ScriptablePluginFunction unlock = nullptr;
};

}  // namespace orvauth_test
