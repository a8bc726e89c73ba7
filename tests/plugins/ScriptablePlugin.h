/*
 * A scriptable directory client plug-in for tests: a real shared object
 * exporting the records of ActiveDirectoryClient.h and a control block
 * (ScriptablePluginLoader.h). Variants: scriptable, scriptable_lib64 (in
 * lib64/ only), scriptable_both (in both; the lib64/ copy declares PAM module
 * "pam_scriptable_lib64"), scriptable_no_metadata, scriptable_no_operations,
 * scriptable_v1 (a version-1 table that really ends after slot 11).
 *
 * A call answers status[slot] (slots 7 and 14 as their value), its first
 * firstCalls[slot] calls firstStatus[slot]; with status 0 results come from
 * answer[slot]: a text, blank-separated words, or "dns/NETBIOS" pairs (an
 * empty part a NULL name). Each call logs "Name(argument, ...)", releases
 * "release" or "release(null)".
 *
 * Every variant but scriptable_no_operations also exports an
 * authentication-proxy client table (JORVProxyClient.h), written in C as
 * plug-in authors will: entries 1 and 2 answer proxyStatus and, with 0, hand
 * out proxyAnswers (NetBIOS name, DNS name, SID; created values 1 and 2; NULL
 * leaves that pointer NULL). Their log: "info <server> <verify>
 * <thumbprint>;", "create <server> <host> <container> <verify>
 * <thumbprint>;", "release <text>;".
 */
#ifndef ORVAUTH_TESTS_SCRIPTABLEPLUGIN_H
#define ORVAUTH_TESTS_SCRIPTABLEPLUGIN_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

enum ScriptableSlot {
    SCRIPTABLE_SLOT_JOIN_DOMAIN = 1,
    SCRIPTABLE_SLOT_PART_DOMAIN = 2,
    SCRIPTABLE_SLOT_GET_ACTIVE_DOMAIN = 3,
    SCRIPTABLE_SLOT_SET_PREFERRED_DOMAIN_CONTROLLERS = 4,
    SCRIPTABLE_SLOT_GET_PREFERRED_DOMAIN_CONTROLLERS = 5,
    SCRIPTABLE_SLOT_GET_DOMAIN_TRUST_STATE = 7,
    SCRIPTABLE_SLOT_GET_TRUSTED_DOMAINS = 8,
    SCRIPTABLE_SLOT_GET_MACHINE_ACCOUNT_DN = 9,
    SCRIPTABLE_SLOT_GET_ANY_DOMAIN_CONTROLLER = 10,
    SCRIPTABLE_SLOT_CONVERT_CANONICAL_USERNAME = 11,
    SCRIPTABLE_SLOT_JOIN_DOMAIN_WITH_MACHINE_ACCOUNT = 12,
    SCRIPTABLE_SLOT_GET_HOST_PRINCIPAL_FOR_DOMAIN = 13,
    SCRIPTABLE_SLOT_GET_DOMAIN_TRUST_RELATIONSHIP = 14,
    SCRIPTABLE_SLOT_SET_SMART_CARD_ENABLED_SERVICES = 15,
    SCRIPTABLE_SLOT_GET_SMART_CARD_ENABLED_SERVICES = 16,
    SCRIPTABLE_SLOT_RENEW_MACHINE_PASSWORD = 17,
    SCRIPTABLE_SLOT_COUNT = 18
};

struct ScriptablePluginControl {
    int32_t status[SCRIPTABLE_SLOT_COUNT];
    int32_t firstStatus[SCRIPTABLE_SLOT_COUNT];
    unsigned firstCalls[SCRIPTABLE_SLOT_COUNT];
    const char* answer[SCRIPTABLE_SLOT_COUNT];
    unsigned calls[SCRIPTABLE_SLOT_COUNT];
    const void* credentials;                       /* the address slot 1 or 2 received last */
    char log[4096];                                /* truncated when full */
    uint32_t proxyStatus;
    const char* proxyAnswers[5];
    int outstanding;           /* proxy strings handed out and not yet released */
    unsigned presetViolations; /* proxy out pointers not NULL on entry */
    char proxyLog[2048];
};

/* Exported next to it as ScriptablePlugin<Name>. */
typedef void (*ScriptableResetFunction)(void);                   /* zeroes it all, restores the records */
typedef void (*ScriptableLockFunction)(int locked);              /* the mutex guarding the block */
typedef void (*ScriptableHoldFunction)(int slot, int held);      /* held calls wait inside */
typedef int (*ScriptableWaitFunction)(int slot, unsigned count); /* 0 after about 10 s */

#ifdef __cplusplus
}
#endif

#endif /* ORVAUTH_TESTS_SCRIPTABLEPLUGIN_H */
