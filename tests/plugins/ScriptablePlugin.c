/*
 * The scriptable Active Directory client plug-in (see ScriptablePlugin.h).
 * One source for every variant; the variant is chosen at compile time:
 *
 *   SCRIPTABLE_OMIT_METADATA          no metadata record
 *   SCRIPTABLE_OMIT_OPERATIONS        no operations table
 *   SCRIPTABLE_METADATA_API_VERSION   metadata apiVersion (default 3)
 *   SCRIPTABLE_OPERATIONS_API_VERSION operations apiVersion (default 3)
 *   SCRIPTABLE_PAM_MODULE             declared PAM module, or the token
 *                                     NULL (default "pam_scriptable")
 *   SCRIPTABLE_NSS_MODULE             declared NSS module, or NULL
 *                                     (default "scriptable")
 *
 * Linked with -Bsymbolic: several variants are loaded with RTLD_GLOBAL into
 * one process and must each use their own records and control block.
 */
#define _GNU_SOURCE
#include "plugins/ScriptablePlugin.h"

#include <orvane/authentication/ActiveDirectoryClient.h>

#include <pthread.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#ifndef SCRIPTABLE_METADATA_API_VERSION
#define SCRIPTABLE_METADATA_API_VERSION 3
#endif
#ifndef SCRIPTABLE_OPERATIONS_API_VERSION
#define SCRIPTABLE_OPERATIONS_API_VERSION 3
#endif
#ifndef SCRIPTABLE_PAM_MODULE
#define SCRIPTABLE_PAM_MODULE "pam_scriptable"
#endif
#ifndef SCRIPTABLE_NSS_MODULE
#define SCRIPTABLE_NSS_MODULE "scriptable"
#endif

/* Words separated by blanks, tabs and repeats, with blanks around them. */
#define SCRIPTABLE_PAM_PARAMETERS "  try_first_pass \t use_authtok   debug  "

#define EXPORT __attribute__((visibility("default")))

EXPORT struct ScriptablePluginControl ScriptablePluginControl;

static pthread_mutex_t controlMutex = PTHREAD_MUTEX_INITIALIZER;

EXPORT void ScriptablePluginLock(void) { pthread_mutex_lock(&controlMutex); }
EXPORT void ScriptablePluginUnlock(void) { pthread_mutex_unlock(&controlMutex); }

/* --- helpers ---------------------------------------------------------- */

static void CopyText(struct ScriptableText* target, const char* text)
{
    target->isNull = text == NULL;
    target->text[0] = '\0';
    if (text != NULL) {
        strncpy(target->text, text, SCRIPTABLE_PLUGIN_TEXT_SIZE - 1);
        target->text[SCRIPTABLE_PLUGIN_TEXT_SIZE - 1] = '\0';
    }
}

static void CopyArray(struct ScriptableTextArray* target, const char* const* items)
{
    memset(target, 0, sizeof *target);
    target->isNull = items == NULL;
    if (items == NULL) {
        return;
    }
    for (int i = 0; items[i] != NULL && i < SCRIPTABLE_PLUGIN_MAX_ITEMS; ++i) {
        CopyText(&target->items[i], items[i]);
        target->count = i + 1;
    }
}

static void CopyCredentials(struct ScriptableCredentialsRecord* target, const Credentials* credentials)
{
    target->credentialsNull = credentials == NULL;
    target->credentialsAddress = credentials;
    CopyText(&target->userName, credentials ? credentials->userName : NULL);
    CopyText(&target->password, credentials ? credentials->password : NULL);
}

/* Runs the timing hooks, counts the call and picks its status. Returns with
 * the mutex held; the caller records its arguments and then calls Finish. */
static int32_t Begin(int slot)
{
    void (*hook)(int, void*);
    void* context;
    unsigned delay;

    pthread_mutex_lock(&controlMutex);
    hook = ScriptablePluginControl.beforeCall;
    context = ScriptablePluginControl.hookContext;
    delay = ScriptablePluginControl.delayMilliseconds[slot];
    pthread_mutex_unlock(&controlMutex);

    if (hook != NULL) {
        hook(slot, context);
    }
    if (delay > 0) {
        struct timespec pause = {(time_t)(delay / 1000), (long)(delay % 1000) * 1000000L};
        while (nanosleep(&pause, &pause) != 0) {
        }
    }

    pthread_mutex_lock(&controlMutex);
    unsigned call = ScriptablePluginControl.calls[slot]++;
    if ((int)call < ScriptablePluginControl.statusSequenceLength[slot] && call < SCRIPTABLE_PLUGIN_MAX_SEQUENCE) {
        return ScriptablePluginControl.statusSequence[slot][call];
    }
    return ScriptablePluginControl.status[slot];
}

static void Finish(void) { pthread_mutex_unlock(&controlMutex); }

static char* Duplicate(const char* text) { return text ? strdup(text) : NULL; }

/* --- release functions ------------------------------------------------ */

static void CountRelease(void* pointer)
{
    pthread_mutex_lock(&controlMutex);
    ScriptablePluginControl.releaseCalls++;
    if (pointer == NULL) {
        ScriptablePluginControl.nullReleaseCalls++;
    } else {
        ScriptablePluginControl.outstandingResults--;
    }
    pthread_mutex_unlock(&controlMutex);
}

static void ReleaseString(void* pointer)
{
    CountRelease(pointer);
    free(pointer);
}

static void ReleaseStringArray(void* pointer)
{
    CountRelease(pointer);
    char** items = pointer;
    for (size_t i = 0; items != NULL && items[i] != NULL; ++i) {
        free(items[i]);
    }
    free(items);
}

static void ReleaseDomainArray(void* pointer)
{
    CountRelease(pointer);
    struct ActiveDirectoryClientDomainName** records = pointer;
    for (size_t i = 0; records != NULL && records[i] != NULL; ++i) {
        free(records[i]->dnsName);
        free(records[i]->netbiosName);
        free(records[i]);
    }
    free(records);
}

/* Hands out a result: counts it and returns the release function to pass
 * back (called with the mutex held). */
static ActiveDirectoryClientReleaseFunction HandOut(void* result, ActiveDirectoryClientReleaseFunction release)
{
    if (result != NULL) {
        ScriptablePluginControl.outstandingResults++;
    }
    return release;
}

static char** DuplicateArray(const struct ScriptableStringArrayResult* script)
{
    if (script->returnNull) {
        return NULL;
    }
    size_t count = 0;
    while (count < SCRIPTABLE_PLUGIN_MAX_ITEMS && script->items[count] != NULL) {
        ++count;
    }
    char** items = calloc(count + 1, sizeof *items);
    for (size_t i = 0; i < count; ++i) {
        items[i] = strdup(script->items[i]);
    }
    return items;
}

static int32_t AnswerString(int slot, char** out, ActiveDirectoryClientReleaseFunction* release)
{
    int32_t status = Begin(slot);
    if (status == 0) {
        *out = Duplicate(ScriptablePluginControl.stringResult[slot]);
        *release = HandOut(*out, ReleaseString);
    }
    Finish();
    return status;
}

static int32_t AnswerStringArray(int slot, char*** out, ActiveDirectoryClientReleaseFunction* release)
{
    int32_t status = Begin(slot);
    if (status == 0) {
        *out = DuplicateArray(&ScriptablePluginControl.stringArray[slot]);
        *release = HandOut(*out, ReleaseStringArray);
    }
    Finish();
    return status;
}

/* --- operations ------------------------------------------------------- */

static int32_t JoinDomain(const char* domain, const char* organizationalUnit, const Credentials* credentials)
{
    int32_t status = Begin(SCRIPTABLE_SLOT_JOIN_DOMAIN);
    CopyText(&ScriptablePluginControl.joinDomain.domain, domain);
    CopyText(&ScriptablePluginControl.joinDomain.organizationalUnit, organizationalUnit);
    CopyCredentials(&ScriptablePluginControl.joinDomain.credentials, credentials);
    Finish();
    return status;
}

static int32_t PartDomain(const Credentials* credentials)
{
    int32_t status = Begin(SCRIPTABLE_SLOT_PART_DOMAIN);
    CopyCredentials(&ScriptablePluginControl.partDomain, credentials);
    Finish();
    return status;
}

static int32_t GetActiveDomain(struct ActiveDirectoryClientDomainName* domain,
                               ActiveDirectoryClientReleaseFunction* release)
{
    int32_t status = Begin(SCRIPTABLE_SLOT_GET_ACTIVE_DOMAIN);
    if (status == 0) {
        domain->dnsName = Duplicate(ScriptablePluginControl.activeDomain.dnsName);
        domain->netbiosName = Duplicate(ScriptablePluginControl.activeDomain.netbiosName);
        HandOut(domain->dnsName, ReleaseString);
        *release = HandOut(domain->netbiosName, ReleaseString);
    }
    Finish();
    return status;
}

static int32_t SetPreferredDomainControllers(const char* const* controllers)
{
    int32_t status = Begin(SCRIPTABLE_SLOT_SET_PREFERRED_DOMAIN_CONTROLLERS);
    CopyArray(&ScriptablePluginControl.arrayArgument[SCRIPTABLE_SLOT_SET_PREFERRED_DOMAIN_CONTROLLERS], controllers);
    Finish();
    return status;
}

static int32_t GetPreferredDomainControllers(char*** controllers, ActiveDirectoryClientReleaseFunction* release)
{
    return AnswerStringArray(SCRIPTABLE_SLOT_GET_PREFERRED_DOMAIN_CONTROLLERS, controllers, release);
}

static void Reserved(void)
{
    Begin(SCRIPTABLE_SLOT_RESERVED);
    Finish();
}

static TrustState GetDomainTrustState(void)
{
    Begin(SCRIPTABLE_SLOT_GET_DOMAIN_TRUST_STATE);
    TrustState state = ScriptablePluginControl.trustState;
    Finish();
    return state;
}

static int32_t GetTrustedDomains(struct ActiveDirectoryClientDomainName*** domains,
                                 ActiveDirectoryClientReleaseFunction* release)
{
    int32_t status = Begin(SCRIPTABLE_SLOT_GET_TRUSTED_DOMAINS);
    if (status == 0) {
        struct ActiveDirectoryClientDomainName** records = NULL;
        if (!ScriptablePluginControl.nullTrustedDomainArray) {
            int count = ScriptablePluginControl.trustedDomainCount;
            if (count > SCRIPTABLE_PLUGIN_MAX_ITEMS) {
                count = SCRIPTABLE_PLUGIN_MAX_ITEMS;
            }
            records = calloc((size_t)count + 1, sizeof *records);
            for (int i = 0; i < count; ++i) {
                records[i] = calloc(1, sizeof **records);
                records[i]->dnsName = Duplicate(ScriptablePluginControl.trustedDomains[i].dnsName);
                records[i]->netbiosName = Duplicate(ScriptablePluginControl.trustedDomains[i].netbiosName);
            }
        }
        *domains = records;
        *release = HandOut(records, ReleaseDomainArray);
    }
    Finish();
    return status;
}

static int32_t GetMachineAccountDN(char** distinguishedName, ActiveDirectoryClientReleaseFunction* release)
{
    return AnswerString(SCRIPTABLE_SLOT_GET_MACHINE_ACCOUNT_DN, distinguishedName, release);
}

static int32_t GetAnyDomainController(const char* selector, const char* domain, char** controller,
                                      ActiveDirectoryClientReleaseFunction* release)
{
    int32_t status = Begin(SCRIPTABLE_SLOT_GET_ANY_DOMAIN_CONTROLLER);
    CopyText(&ScriptablePluginControl.stringArgument[SCRIPTABLE_SLOT_GET_ANY_DOMAIN_CONTROLLER], selector);
    CopyText(&ScriptablePluginControl.secondStringArgument[SCRIPTABLE_SLOT_GET_ANY_DOMAIN_CONTROLLER], domain);
    if (status == 0) {
        *controller = Duplicate(ScriptablePluginControl.stringResult[SCRIPTABLE_SLOT_GET_ANY_DOMAIN_CONTROLLER]);
        *release = HandOut(*controller, ReleaseString);
    }
    Finish();
    return status;
}

static int32_t AnswerStringFor(int slot, const char* argument, char** out,
                               ActiveDirectoryClientReleaseFunction* release)
{
    int32_t status = Begin(slot);
    CopyText(&ScriptablePluginControl.stringArgument[slot], argument);
    if (status == 0) {
        *out = Duplicate(ScriptablePluginControl.stringResult[slot]);
        *release = HandOut(*out, ReleaseString);
    }
    Finish();
    return status;
}

static int32_t ConvertCanonicalUsername(const char* userName, char** canonicalName,
                                        ActiveDirectoryClientReleaseFunction* release)
{
    return AnswerStringFor(SCRIPTABLE_SLOT_CONVERT_CANONICAL_USERNAME, userName, canonicalName, release);
}

static int32_t JoinDomainWithMachineAccount(const struct ActiveDirectoryClientDomainInfo* domain,
                                            const struct ActiveDirectoryClientMachineAccountInfo* account)
{
    int32_t status = Begin(SCRIPTABLE_SLOT_JOIN_DOMAIN_WITH_MACHINE_ACCOUNT);
    CopyText(&ScriptablePluginControl.machineAccountJoin.domainController, domain->domainController);
    CopyText(&ScriptablePluginControl.machineAccountJoin.netbiosName, domain->netbiosName);
    CopyText(&ScriptablePluginControl.machineAccountJoin.dnsName, domain->dnsName);
    CopyText(&ScriptablePluginControl.machineAccountJoin.sid, domain->sid);
    CopyText(&ScriptablePluginControl.machineAccountJoin.hostName, account->hostName);
    CopyText(&ScriptablePluginControl.machineAccountJoin.dnsDomainName, account->dnsDomainName);
    CopyText(&ScriptablePluginControl.machineAccountJoin.spareText, account->spareText);
    CopyText(&ScriptablePluginControl.machineAccountJoin.createdValue1, account->createdValue1);
    CopyText(&ScriptablePluginControl.machineAccountJoin.createdValue2, account->createdValue2);
    Finish();
    return status;
}

static int32_t GetHostPrincipalForDomain(const char* domain, char** principal,
                                         ActiveDirectoryClientReleaseFunction* release)
{
    return AnswerStringFor(SCRIPTABLE_SLOT_GET_HOST_PRINCIPAL_FOR_DOMAIN, domain, principal, release);
}

static uint32_t GetDomainTrustRelationship(const char* domain)
{
    Begin(SCRIPTABLE_SLOT_GET_DOMAIN_TRUST_RELATIONSHIP);
    CopyText(&ScriptablePluginControl.stringArgument[SCRIPTABLE_SLOT_GET_DOMAIN_TRUST_RELATIONSHIP], domain);
    uint32_t relationship = ScriptablePluginControl.trustRelationship;
    Finish();
    return relationship;
}

static int32_t SetSmartCardEnabledServices(const char* const* services)
{
    int32_t status = Begin(SCRIPTABLE_SLOT_SET_SMART_CARD_ENABLED_SERVICES);
    CopyArray(&ScriptablePluginControl.arrayArgument[SCRIPTABLE_SLOT_SET_SMART_CARD_ENABLED_SERVICES], services);
    Finish();
    return status;
}

static int32_t GetSmartCardEnabledServices(char*** services, ActiveDirectoryClientReleaseFunction* release)
{
    return AnswerStringArray(SCRIPTABLE_SLOT_GET_SMART_CARD_ENABLED_SERVICES, services, release);
}

/* --- exported records ------------------------------------------------- */

#define METADATA_INITIALIZER                                                                             \
    {                                                                                                    \
        SCRIPTABLE_METADATA_API_VERSION, SCRIPTABLE_PAM_MODULE, SCRIPTABLE_PAM_PARAMETERS, SCRIPTABLE_NSS_MODULE, \
            NULL                                                                                         \
    }

#define OPERATIONS_INITIALIZER                                                                           \
    {                                                                                                    \
        SCRIPTABLE_OPERATIONS_API_VERSION, JoinDomain, PartDomain, GetActiveDomain,                      \
            SetPreferredDomainControllers, GetPreferredDomainControllers, Reserved, GetDomainTrustState, \
            GetTrustedDomains, GetMachineAccountDN, GetAnyDomainController, ConvertCanonicalUsername,    \
            JoinDomainWithMachineAccount, GetHostPrincipalForDomain, GetDomainTrustRelationship,         \
            SetSmartCardEnabledServices, GetSmartCardEnabledServices                                     \
    }

#ifndef SCRIPTABLE_OMIT_METADATA
EXPORT struct ActiveDirectoryClientMetadata ActiveDirectoryClientMetadata = METADATA_INITIALIZER;
#endif

#ifndef SCRIPTABLE_OMIT_OPERATIONS
EXPORT struct ActiveDirectoryClientOperations ActiveDirectoryClientOperations = OPERATIONS_INITIALIZER;
#else
/* Keeps the operations referenced, so the variant builds without warnings. */
static const struct ActiveDirectoryClientOperations unexportedOperations = OPERATIONS_INITIALIZER;
EXPORT const void* ScriptablePluginUnexportedOperations = &unexportedOperations;
#endif

EXPORT void ScriptablePluginReset(void)
{
    pthread_mutex_lock(&controlMutex);
    memset(&ScriptablePluginControl, 0, sizeof ScriptablePluginControl);
#ifndef SCRIPTABLE_OMIT_METADATA
    ActiveDirectoryClientMetadata = (struct ActiveDirectoryClientMetadata)METADATA_INITIALIZER;
#endif
#ifndef SCRIPTABLE_OMIT_OPERATIONS
    ActiveDirectoryClientOperations = (struct ActiveDirectoryClientOperations)OPERATIONS_INITIALIZER;
#endif
    pthread_mutex_unlock(&controlMutex);
}
