/*
 * A scriptable authentication-proxy client plug-in: a real shared object
 * exporting the table of <orvane/authentication/JORVProxyClient.h>, with a
 * control block that scripts its answers and logs every call. Variants (see
 * CMakeLists.txt) differ in where they are installed or lack the table. A
 * test pins one (C++ part below); the library's dlopen shares that mapping.
 */
#ifndef ORVAUTH_TESTS_SCRIPTABLEPROXY_H
#define ORVAUTH_TESTS_SCRIPTABLEPROXY_H

#include <stdint.h>

struct ScriptableProxyControl {
    uint32_t status; /* of entries 1 and 2; their strings are handed out only for 0 */
    /* NetBIOS name, DNS name, SID, created values 1 and 2; NULL leaves that out pointer NULL. */
    const char* answers[5];
    /* "info <server> <verify> <thumbprint>;", "create <server> <host> <container|(null)> <verify> <thumbprint>;",
     * "release <text>;" in call order. */
    char log[2048];
    int outstanding;           /* handed out and not yet released */
    unsigned presetViolations; /* out pointers not NULL on entry */
};

#ifdef __cplusplus
#include "common/PinnedPlugin.h"

#include <orvane/authentication/JORVProxyClient.h>

namespace jorv_test {

class ScriptableProxy {
public:
    explicit ScriptableProxy(const std::string& name = "jorvproxy", bool inLib64 = true)
        : pinned(orvauth_test::PluginPath(name, inLib64))
    {
        Reset();
    }
    ScriptableProxyControl* operator->()
    {
        return static_cast<ScriptableProxyControl*>(pinned.Symbol("ScriptableProxyControl"));
    }
    void Reset() { reinterpret_cast<void (*)(void)>(pinned.Symbol("ScriptableProxyReset"))(); }
    JORVProxyClientOperations& Table()
    {
        return *static_cast<JORVProxyClientOperations*>(pinned.Symbol(JORV_PROXY_CLIENT_OPERATIONS_SYMBOL));
    }

private:
    orvauth_test::PinnedPlugin pinned;
};

}  // namespace jorv_test
#endif

#endif /* ORVAUTH_TESTS_SCRIPTABLEPROXY_H */
