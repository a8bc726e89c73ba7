/*
 * A scriptable Active Directory client plug-in for tests.
 *
 * The plug-in is a real shared object exporting the two records of
 * <orvane/authentication/ActiveDirectoryClient.h>; the library finds and
 * loads it through its ordinary dlopen path. Next to those records it exports
 * a control block through which a test decides what every operation answers
 * and reads back what the library passed in.
 *
 * Built plug-ins (lib<name>.so in the configured plug-in directory, see
 * tests/plugins/CMakeLists.txt); the provider name is <name>:
 *
 *   scriptable                  the plain plug-in, base directory only
 *   scriptable_lib64            only in <plug-in dir>/lib64/
 *   scriptable_both             in both directories; the copy in lib64/
 *                               declares PAM module "pam_scriptable_lib64",
 *                               the other "pam_scriptable_base"
 *   scriptable_no_metadata      lacks ActiveDirectoryClientMetadata
 *   scriptable_no_operations    lacks ActiveDirectoryClientOperations
 *   scriptable_metadata_v4      metadata apiVersion 4
 *   scriptable_null_pam_module  metadata pamModule is null
 *   scriptable_null_nss_module  metadata nssModule is null
 *   scriptable_operations_v1    operations apiVersion 1 (every slot present)
 *
 * Using it from a test
 * --------------------
 * The state lives in the plug-in's own data, so it lasts exactly as long as
 * the plug-in stays mapped. Pin the plug-in for the whole test by opening it
 * yourself first (the library's later dlopen of the same path shares that
 * mapping), then script it, then let the library load it:
 *
 *   void* pin = dlopen(ORVAUTH_PLUGIN_DIR "/libscriptable.so", RTLD_NOW | RTLD_GLOBAL);
 *   ScriptablePluginControl* control =
 *       (ScriptablePluginControl*)dlsym(pin, SCRIPTABLE_PLUGIN_CONTROL_SYMBOL);
 *   ((void (*)(void))dlsym(pin, SCRIPTABLE_PLUGIN_RESET_SYMBOL))();
 *   control->status[SCRIPTABLE_SLOT_PART_DOMAIN] = 1326;
 *   ... construct the provider or store, call it, inspect control ...
 *   dlclose(pin);
 *
 * tests/plugins/ScriptablePluginLoader.h wraps exactly this for C++ tests.
 * Because several variants export the same record names, always look symbols
 * up through the variant's own handle, not RTLD_DEFAULT.
 *
 * Reset (SCRIPTABLE_PLUGIN_RESET_SYMBOL) zeroes the control block and puts the
 * exported metadata and operations records back to the variant's built-in
 * values. Because both records are ordinary writable data, a test may change
 * them after Reset and before the library loads (or calls) the plug-in: set
 * a slot to NULL to remove an operation, or change an apiVersion. The
 * metadata is read only while the library loads the plug-in.
 *
 * Answers (all zero after Reset)
 * ------------------------------
 * Every operation with a status answers statusSequence[slot][n] on its n-th
 * call (n counting from 0) while n < statusSequenceLength[slot], afterwards
 * status[slot]. Results are handed out only when the answered status is 0;
 * they are fresh heap copies of the scripted texts, returned together with a
 * release function that frees them and counts the release.
 *
 *   slot 3  GetActiveDomain               activeDomain.dnsName / netbiosName;
 *                                         a NULL text leaves that name unset
 *   slot 5  GetPreferredDomainControllers stringArray[slot]
 *   slot 7  GetDomainTrustState           trustState (no status)
 *   slot 8  GetTrustedDomains             trustedDomains / trustedDomainCount;
 *                                         a record's texts may be NULL;
 *                                         nullTrustedDomainArray hands out a
 *                                         NULL array instead
 *   slot 9, 10, 11, 13                    stringResult[slot]; NULL hands out a
 *                                         NULL string
 *   slot 14 GetDomainTrustRelationship    trustRelationship (no status)
 *   slot 16 GetSmartCardEnabledServices   stringArray[slot]
 *
 * A string array result is stringArray[slot].items up to the first NULL;
 * returnNull hands out a NULL array pointer instead.
 *
 * Recording (what the library passed in, last call per slot)
 * ----------------------------------------------------------
 *   calls[slot]                 number of calls of each slot
 *   joinDomain                  slot 1: domain, organizationalUnit (isNull
 *                               set when the library passed NULL),
 *                               credentialsNull, userName, password,
 *                               credentialsAddress (the address received)
 *   partDomain                  slot 2: credentialsNull, userName, password,
 *                               credentialsAddress
 *   machineAccountJoin          slot 12: the four domain-info texts and the
 *                               five machine-account texts, in record order
 *   stringArgument[slot]        the first text argument of slots 10 (the
 *                               selector), 11, 13 and 14
 *   secondStringArgument[slot]  slot 10: the domain name
 *   arrayArgument[slot]         slots 4 and 15: the array's texts up to its
 *                               NULL terminator (isNull when the array
 *                               itself was NULL; truncated after
 *                               SCRIPTABLE_PLUGIN_MAX_ITEMS)
 *   releaseCalls / nullReleaseCalls   calls of the release functions, and
 *                               how many of them received NULL
 *   outstandingResults          results handed out and not yet released
 *
 * Texts are copied into fixed buffers of SCRIPTABLE_PLUGIN_TEXT_SIZE bytes
 * (longer ones are truncated).
 *
 * Threads and timing
 * ------------------
 * The plug-in updates the control block under its own mutex; a test that
 * reads it while library worker threads may still call the plug-in takes
 * the same mutex through SCRIPTABLE_PLUGIN_LOCK_SYMBOL /
 * SCRIPTABLE_PLUGIN_UNLOCK_SYMBOL. delayMilliseconds[slot] makes a slot
 * sleep before answering; beforeCall, when set, is called at the start of
 * every operation (outside the mutex) with the slot number and
 * hookContext, so a test can block a call until it lets it go.
 */
#ifndef ORVAUTH_TESTS_SCRIPTABLEPLUGIN_H
#define ORVAUTH_TESTS_SCRIPTABLEPLUGIN_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define SCRIPTABLE_PLUGIN_CONTROL_SYMBOL "ScriptablePluginControl"
#define SCRIPTABLE_PLUGIN_RESET_SYMBOL "ScriptablePluginReset"
#define SCRIPTABLE_PLUGIN_LOCK_SYMBOL "ScriptablePluginLock"
#define SCRIPTABLE_PLUGIN_UNLOCK_SYMBOL "ScriptablePluginUnlock"

#define SCRIPTABLE_PLUGIN_TEXT_SIZE 256
#define SCRIPTABLE_PLUGIN_MAX_ITEMS 16
#define SCRIPTABLE_PLUGIN_MAX_SEQUENCE 16

/* Operation slots, numbered as in the operations table (index 0 unused). */
enum ScriptableSlot {
    SCRIPTABLE_SLOT_JOIN_DOMAIN = 1,
    SCRIPTABLE_SLOT_PART_DOMAIN = 2,
    SCRIPTABLE_SLOT_GET_ACTIVE_DOMAIN = 3,
    SCRIPTABLE_SLOT_SET_PREFERRED_DOMAIN_CONTROLLERS = 4,
    SCRIPTABLE_SLOT_GET_PREFERRED_DOMAIN_CONTROLLERS = 5,
    SCRIPTABLE_SLOT_RESERVED = 6,
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
    SCRIPTABLE_SLOT_COUNT = 17
};

/* A text the library passed in. */
struct ScriptableText {
    int isNull; /* the library passed NULL */
    char text[SCRIPTABLE_PLUGIN_TEXT_SIZE];
};

/* A NULL-terminated array the library passed in. */
struct ScriptableTextArray {
    int isNull; /* the array pointer itself was NULL */
    int count;  /* entries before the terminating NULL */
    struct ScriptableText items[SCRIPTABLE_PLUGIN_MAX_ITEMS];
};

/* A string array to hand out: items up to the first NULL. */
struct ScriptableStringArrayResult {
    int returnNull;
    const char* items[SCRIPTABLE_PLUGIN_MAX_ITEMS + 1];
};

struct ScriptableDomainNames {
    const char* dnsName;
    const char* netbiosName;
};

struct ScriptableCredentialsRecord {
    int credentialsNull;
    const void* credentialsAddress;
    struct ScriptableText userName;
    struct ScriptableText password;
};

struct ScriptablePluginControl {
    /* --- answers ------------------------------------------------------- */
    int32_t status[SCRIPTABLE_SLOT_COUNT];
    int32_t statusSequence[SCRIPTABLE_SLOT_COUNT][SCRIPTABLE_PLUGIN_MAX_SEQUENCE];
    int statusSequenceLength[SCRIPTABLE_SLOT_COUNT];

    struct ScriptableDomainNames activeDomain;
    struct ScriptableStringArrayResult stringArray[SCRIPTABLE_SLOT_COUNT];
    uint32_t trustState;
    int nullTrustedDomainArray;
    int trustedDomainCount;
    struct ScriptableDomainNames trustedDomains[SCRIPTABLE_PLUGIN_MAX_ITEMS];
    const char* stringResult[SCRIPTABLE_SLOT_COUNT];
    uint32_t trustRelationship;

    /* --- timing -------------------------------------------------------- */
    unsigned delayMilliseconds[SCRIPTABLE_SLOT_COUNT];
    void (*beforeCall)(int slot, void* hookContext);
    void* hookContext;

    /* --- recording ----------------------------------------------------- */
    unsigned calls[SCRIPTABLE_SLOT_COUNT];

    struct {
        struct ScriptableText domain;
        struct ScriptableText organizationalUnit;
        struct ScriptableCredentialsRecord credentials;
    } joinDomain;

    struct ScriptableCredentialsRecord partDomain;

    struct {
        struct ScriptableText domainController;
        struct ScriptableText netbiosName;
        struct ScriptableText dnsName;
        struct ScriptableText sid;
        struct ScriptableText hostName;
        struct ScriptableText dnsDomainName;
        struct ScriptableText spareText;
        struct ScriptableText createdValue1;
        struct ScriptableText createdValue2;
    } machineAccountJoin;

    struct ScriptableText stringArgument[SCRIPTABLE_SLOT_COUNT];
    struct ScriptableText secondStringArgument[SCRIPTABLE_SLOT_COUNT];
    struct ScriptableTextArray arrayArgument[SCRIPTABLE_SLOT_COUNT];

    unsigned releaseCalls;
    unsigned nullReleaseCalls;
    int outstandingResults;
};

typedef void (*ScriptablePluginFunction)(void);

#ifdef __cplusplus
}
#endif

#endif /* ORVAUTH_TESTS_SCRIPTABLEPLUGIN_H */
