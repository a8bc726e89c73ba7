/*
 * Control interface of the blocking test plug-in (libblockingclient.so).
 * The plug-in answers the five directory queries from scripted data; each
 * query can be held until the test releases it or made to fail with a
 * status. Find the table with dlsym on a handle of the plug-in once the
 * library has loaded it; a test removes an operation by clearing its slot in
 * the exported operations table while no query runs.
 */
#ifndef ORVAUTH_TESTS_BLOCKING_CLIENT_H
#define ORVAUTH_TESTS_BLOCKING_CLIENT_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define BLOCKING_CLIENT_CONTROL_SYMBOL "BlockingClientControl"

enum BlockingOperation {
    BLOCKING_ACTIVE_DOMAIN,
    BLOCKING_PREFERRED_CONTROLLERS,
    BLOCKING_MACHINE_ACCOUNT_DN,
    BLOCKING_TRUSTED_DOMAINS,
    BLOCKING_TRUST_STATE,
    BLOCKING_OPERATION_COUNT
};

struct BlockingClientControlTable {
    void (*Block)(int operation); /* calls wait inside until Release */
    void (*Release)(int operation);
    void (*SetStatus)(int operation, int32_t status);
    int (*Calls)(int operation);       /* calls that entered so far */
    int (*MaxConcurrent)(int operation);
    /* Waits up to about 10 seconds for count calls to enter; returns whether they did. */
    int (*WaitForCalls)(int operation, int count);

    /* Scripted answers; the texts are copied, lists end with NULL. A null
     * DNS name leaves both names of the active domain unset. */
    void (*SetActiveDomain)(const char* dnsName, const char* netbiosName);
    void (*SetPreferredControllers)(const char* const* controllers);
    void (*SetMachineAccountDN)(const char* distinguishedName);
    void (*SetTrustedDomains)(const char* const* names); /* DNS and NetBIOS names alternating */
    void (*SetTrustState)(uint32_t state);

    void (*SetUnloadCounter)(int* counter); /* incremented when the plug-in is unloaded */
};

#ifdef __cplusplus
}
#endif

#endif
