/*
 * The scriptable directory client plug-in (ScriptablePlugin.h), one source
 * for every variant. Linked with -Bsymbolic: variants share symbol names in
 * one process and must each use their own records and control block.
 */
#define _GNU_SOURCE
#include "plugins/ScriptablePlugin.h"

#include <orvane/authentication/ActiveDirectoryClient.h>

#include <errno.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#ifndef SCRIPTABLE_PAM_MODULE
#define SCRIPTABLE_PAM_MODULE "pam_scriptable"
#endif
typedef ActiveDirectoryClientReleaseFunction ReleaseFunction;
typedef struct ActiveDirectoryClientDomainName DomainName;

struct ScriptablePluginControl ScriptablePluginControl;
static struct ScriptablePluginControl* const control = &ScriptablePluginControl;
static pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
static pthread_cond_t changed = PTHREAD_COND_INITIALIZER;
static int held[SCRIPTABLE_SLOT_COUNT];
static unsigned inside[SCRIPTABLE_SLOT_COUNT];

static const char* Shown(const char* text) { return text != NULL ? text : "(null)"; }
static char* Copy(const char* text) { return text != NULL ? strdup(text) : NULL; }

/* Logs and counts the call, waits while its slot is held, and returns its
 * answer with the mutex held; End lets go of it. */
static int32_t Begin(int slot, const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    pthread_mutex_lock(&mutex);
    size_t used = strlen(control->log);
    vsnprintf(control->log + used, sizeof control->log - used, format, arguments);
    va_end(arguments);
    unsigned call = control->calls[slot]++;
    if (++inside[slot] > control->maxConcurrent[slot]) {
        control->maxConcurrent[slot] = inside[slot];
    }
    pthread_cond_broadcast(&changed);
    while (held[slot]) {
        pthread_cond_wait(&changed, &mutex);
    }
    --inside[slot];
    return call < control->firstCalls[slot] ? control->firstStatus[slot] : control->status[slot];
}

static int32_t End(int32_t status)
{
    pthread_mutex_unlock(&mutex);
    return status;
}

/* Every result is one block. */
static void Release(void* pointer)
{
    pthread_mutex_lock(&mutex);
    size_t used = strlen(control->log);
    snprintf(control->log + used, sizeof control->log - used, pointer != NULL ? "release\n" : "release(null)\n");
    pthread_mutex_unlock(&mutex);
    free(pointer);
}

/* The blank-separated words of text as a NULL-terminated array in one block;
 * with pairs, each word "dns/NETBIOS" becomes a name record (an empty part a
 * NULL name). */
static void* Array(const char* text, int pairs)
{
    if (text == NULL) {
        return NULL;
    }
    size_t length = strlen(text), slots = length / 2 + 2, count = 0;
    size_t head = slots * (sizeof(void*) + (pairs ? sizeof(DomainName) : 0));
    char* block = calloc(1, head + length + 1);
    void** items = (void**)block;
    DomainName* records = (DomainName*)(items + slots);
    char* rest = NULL;
    for (char* word = strtok_r(strcpy(block + head, text), " ", &rest); word != NULL;
         word = strtok_r(NULL, " ", &rest), ++count) {
        if (pairs) {
            char* slash = strchr(word, '/');
            if (slash != NULL) {
                *slash++ = '\0';
            }
            records[count].dnsName = *word != '\0' ? word : NULL;
            records[count].netbiosName = slash != NULL && *slash != '\0' ? slash : NULL;
        }
        items[count] = pairs ? (void*)&records[count] : word;
    }
    return block;
}

/* An array argument as the text between the parentheses of its log line. */
static const char* Spread(const char* const* items, char* text, size_t size)
{
    text[0] = '\0';
    for (size_t i = 0; items != NULL && items[i] != NULL; ++i) {
        snprintf(text + strlen(text), size - strlen(text), "%s%s", i > 0 ? ", " : "", items[i]);
    }
    return items != NULL ? text : "(null)";
}

static int32_t Text(int32_t status, int slot, char** text, ReleaseFunction* release)
{
    if (status == 0) {
        *text = Copy(control->answer[slot]);
        *release = Release;
    }
    return End(status);
}

static int32_t Many(int32_t status, int slot, int pairs, void* array, ReleaseFunction* release)
{
    if (status == 0) {
        *(void**)array = Array(control->answer[slot], pairs);
        *release = Release;
    }
    return End(status);
}

/* --- operations ---------------------------------------------------------------- */

static int32_t JoinDomain(const char* domain, const char* unit, const Credentials* credentials)
{
    int32_t status = Begin(SCRIPTABLE_SLOT_JOIN_DOMAIN, "JoinDomain(%s, %s, %s:%s)\n", domain, Shown(unit),
                           Shown(credentials->userName), Shown(credentials->password));
    control->credentials = credentials;
    return End(status);
}

static int32_t PartDomain(const Credentials* credentials)
{
    int32_t status = credentials == NULL ? Begin(SCRIPTABLE_SLOT_PART_DOMAIN, "PartDomain((null))\n")
                                         : Begin(SCRIPTABLE_SLOT_PART_DOMAIN, "PartDomain(%s:%s)\n",
                                                 Shown(credentials->userName), Shown(credentials->password));
    control->credentials = credentials;
    return End(status);
}

static int32_t GetActiveDomain(DomainName* domain, ReleaseFunction* release)
{
    int32_t status = Begin(SCRIPTABLE_SLOT_GET_ACTIVE_DOMAIN, "GetActiveDomain()\n");
    DomainName** names = status == 0 ? Array(control->answer[SCRIPTABLE_SLOT_GET_ACTIVE_DOMAIN], 1) : NULL;
    if (names != NULL && names[0] != NULL) {
        domain->dnsName = Copy(names[0]->dnsName);
        domain->netbiosName = Copy(names[0]->netbiosName);
        *release = Release;
    }
    free(names);
    return End(status);
}

static int32_t SetPreferredDomainControllers(const char* const* controllers)
{
    char text[512];
    return End(Begin(SCRIPTABLE_SLOT_SET_PREFERRED_DOMAIN_CONTROLLERS, "SetPreferredDomainControllers(%s)\n",
                     Spread(controllers, text, sizeof text)));
}

static int32_t GetPreferredDomainControllers(char*** controllers, ReleaseFunction* release)
{
    int slot = SCRIPTABLE_SLOT_GET_PREFERRED_DOMAIN_CONTROLLERS;
    return Many(Begin(slot, "GetPreferredDomainControllers()\n"), slot, 0, controllers, release);
}

static TrustState GetDomainTrustState(void)
{
    return (TrustState)End(Begin(SCRIPTABLE_SLOT_GET_DOMAIN_TRUST_STATE, "GetDomainTrustState()\n"));
}

static int32_t GetTrustedDomains(DomainName*** domains, ReleaseFunction* release)
{
    int slot = SCRIPTABLE_SLOT_GET_TRUSTED_DOMAINS;
    return Many(Begin(slot, "GetTrustedDomains()\n"), slot, 1, domains, release);
}

static int32_t GetMachineAccountDN(char** distinguishedName, ReleaseFunction* release)
{
    int slot = SCRIPTABLE_SLOT_GET_MACHINE_ACCOUNT_DN;
    return Text(Begin(slot, "GetMachineAccountDN()\n"), slot, distinguishedName, release);
}

static int32_t GetAnyDomainController(const char* selector, const char* domain, char** controller,
                                      ReleaseFunction* release)
{
    int slot = SCRIPTABLE_SLOT_GET_ANY_DOMAIN_CONTROLLER;
    return Text(Begin(slot, "GetAnyDomainController(%s, %s)\n", Shown(selector), domain), slot, controller, release);
}

static int32_t ConvertCanonicalUsername(const char* userName, char** canonicalName, ReleaseFunction* release)
{
    int slot = SCRIPTABLE_SLOT_CONVERT_CANONICAL_USERNAME;
    return Text(Begin(slot, "ConvertCanonicalUsername(%s)\n", userName), slot, canonicalName, release);
}

static int32_t JoinDomainWithMachineAccount(const struct ActiveDirectoryClientDomainInfo* domain,
                                            const struct ActiveDirectoryClientMachineAccountInfo* account)
{
    return End(Begin(SCRIPTABLE_SLOT_JOIN_DOMAIN_WITH_MACHINE_ACCOUNT,
                     "JoinDomainWithMachineAccount(%s, %s, %s, %s, %s, %s, %s, %s, %s)\n",
                     Shown(domain->domainController), Shown(domain->netbiosName), Shown(domain->dnsName),
                     Shown(domain->sid), Shown(account->hostName), Shown(account->dnsDomainName),
                     Shown(account->spareText), Shown(account->createdValue1), Shown(account->createdValue2)));
}

static int32_t GetHostPrincipalForDomain(const char* domain, char** principal, ReleaseFunction* release)
{
    int slot = SCRIPTABLE_SLOT_GET_HOST_PRINCIPAL_FOR_DOMAIN;
    return Text(Begin(slot, "GetHostPrincipalForDomain(%s)\n", domain), slot, principal, release);
}

static uint32_t GetDomainTrustRelationship(const char* domain)
{
    int slot = SCRIPTABLE_SLOT_GET_DOMAIN_TRUST_RELATIONSHIP;
    return (uint32_t)End(Begin(slot, "GetDomainTrustRelationship(%s)\n", domain));
}

static int32_t SetSmartCardEnabledServices(const char* const* services)
{
    char text[512];
    return End(Begin(SCRIPTABLE_SLOT_SET_SMART_CARD_ENABLED_SERVICES, "SetSmartCardEnabledServices(%s)\n",
                     Spread(services, text, sizeof text)));
}

static int32_t GetSmartCardEnabledServices(char*** services, ReleaseFunction* release)
{
    int slot = SCRIPTABLE_SLOT_GET_SMART_CARD_ENABLED_SERVICES;
    return Many(Begin(slot, "GetSmartCardEnabledServices()\n"), slot, 0, services, release);
}

/* --- exported records ------------------------------------------------------------ */

#ifndef SCRIPTABLE_OMIT_METADATA
static const struct ActiveDirectoryClientMetadata initialMetadata = {
    3, SCRIPTABLE_PAM_MODULE, "  try_first_pass \t use_authtok   debug  ", "scriptable", NULL};
struct ActiveDirectoryClientMetadata ActiveDirectoryClientMetadata;
#endif

static const struct ActiveDirectoryClientOperations fullOperations = {
    3, JoinDomain, PartDomain, GetActiveDomain, SetPreferredDomainControllers, GetPreferredDomainControllers,
    NULL, GetDomainTrustState, GetTrustedDomains, GetMachineAccountDN, GetAnyDomainController,
    ConvertCanonicalUsername, JoinDomainWithMachineAccount, GetHostPrincipalForDomain, GetDomainTrustRelationship,
    SetSmartCardEnabledServices, GetSmartCardEnabledServices};

#if defined(SCRIPTABLE_V1)
/* A first-version table, which really ends after slot 11. Built with
 * -fno-toplevel-reorder: without a sanitizer's padding the trap lies right
 * behind it, where a later version's slots 12 to 16 would be. */
static void PastTheEnd(void) { End(Begin(0, "past the end\n")); }
typedef struct {
    int32_t apiVersion;
    const void* slots[11];
} Operations;
#define FIRST_VERSION {1, {JoinDomain, PartDomain, GetActiveDomain, SetPreferredDomainControllers, \
                           GetPreferredDomainControllers, NULL, GetDomainTrustState, GetTrustedDomains, \
                           GetMachineAccountDN, GetAnyDomainController, ConvertCanonicalUsername}}
Operations ActiveDirectoryClientOperations = FIRST_VERSION;
void (*ScriptablePastTheEnd[5])(void) = {PastTheEnd, PastTheEnd, PastTheEnd, PastTheEnd, PastTheEnd};
static const Operations initialOperations = FIRST_VERSION;
#elif !defined(SCRIPTABLE_OMIT_OPERATIONS)
struct ActiveDirectoryClientOperations ActiveDirectoryClientOperations;
#define initialOperations fullOperations
#endif
#if defined(SCRIPTABLE_V1) || defined(SCRIPTABLE_OMIT_OPERATIONS)
const void* ScriptableFullOperations = &fullOperations; /* keeps every operation referenced */
#endif

/* --- control ----------------------------------------------------------------------- */

__attribute__((constructor)) void ScriptablePluginReset(void)
{
    pthread_mutex_lock(&mutex);
    memset(control, 0, sizeof *control);
    memset(held, 0, sizeof held);
#ifndef SCRIPTABLE_OMIT_METADATA
    ActiveDirectoryClientMetadata = initialMetadata;
#endif
#ifndef SCRIPTABLE_OMIT_OPERATIONS
    ActiveDirectoryClientOperations = initialOperations;
#endif
    pthread_cond_broadcast(&changed);
    pthread_mutex_unlock(&mutex);
}

void ScriptablePluginLock(int locked) { (void)(locked ? pthread_mutex_lock(&mutex) : pthread_mutex_unlock(&mutex)); }

void ScriptablePluginHold(int slot, int hold)
{
    pthread_mutex_lock(&mutex);
    held[slot] = hold;
    pthread_cond_broadcast(&changed);
    pthread_mutex_unlock(&mutex);
}

int ScriptablePluginWaitForCalls(int slot, unsigned count)
{
    struct timespec deadline;
    clock_gettime(CLOCK_REALTIME, &deadline);
    deadline.tv_sec += 10; /* only keeps a broken test from hanging */
    pthread_mutex_lock(&mutex);
    while (control->calls[slot] < count && pthread_cond_timedwait(&changed, &mutex, &deadline) != ETIMEDOUT) {
    }
    int reached = control->calls[slot] >= count;
    pthread_mutex_unlock(&mutex);
    return reached;
}
