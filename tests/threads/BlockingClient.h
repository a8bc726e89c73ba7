/*
 * Control interface of the blocking test plug-in (libblockingclient.so).
 * The plug-in answers the directory queries from scripted data; each query
 * can be held on a gate the test opens, given a status to fail with, or
 * removed from the operations table. The test finds the table through
 * dlsym(RTLD_DEFAULT, BLOCKING_CLIENT_CONTROL_SYMBOL) once the library has
 * loaded the plug-in (it loads plug-ins RTLD_GLOBAL).
 */
#ifndef ORVAUTH_TESTS_BLOCKING_CLIENT_H
#define ORVAUTH_TESTS_BLOCKING_CLIENT_H

#include <pthread.h>
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

/* A gate kept in the test program. Opening it runs no plug-in code, which
 * matters when the call it holds may be the one that unloads the plug-in. */
struct BlockingGate {
    pthread_mutex_t mutex;
    pthread_cond_t opened;
    int isOpen;
};

struct BlockingClientControlTable {
    /* Calls of the operation wait until it is released again. */
    void (*Block)(int operation);
    void (*Release)(int operation);
    /* Calls of the operation also wait until gate opens; null removes it. */
    void (*SetGate)(int operation, struct BlockingGate* gate);
    /* Status the operation returns (the trust state has none). */
    void (*SetStatus)(int operation, int32_t status);
    /* Nulls the operation's slot. */
    void (*RemoveSlot)(int operation);
    /* Calls that entered the operation so far. */
    int (*Calls)(int operation);
    /* Most calls of the operation ever inside it at the same time. */
    int (*MaxConcurrent)(int operation);
    /* Waits (up to about 10 seconds) until at least count calls entered
     * the operation; returns whether they did. */
    int (*WaitForCalls)(int operation, int count);

    /* Scripted answers. Text is copied; null pointers are allowed where the
     * interface allows them. */
    void (*SetActiveDomain)(const char* dnsName, const char* netbiosName);
    /* A NULL-terminated list. */
    void (*SetPreferredControllers)(const char* const* controllers);
    void (*SetMachineAccountDN)(const char* distinguishedName);
    /* Alternating DNS and NetBIOS names, NULL-terminated. */
    void (*SetTrustedDomains)(const char* const* names);
    void (*SetTrustState)(uint32_t state);

    /* Incremented (atomically) when the plug-in is unloaded. */
    void (*SetUnloadCounter)(int* counter);
};

#ifdef __cplusplus
}
#endif

#endif
