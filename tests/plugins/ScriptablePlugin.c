/*
 * The scriptable directory client plug-in (ScriptablePlugin.h), one source
 * for every variant. Linked with -Bsymbolic: variants share symbol names in
 * one process and must each use their own records and control block.
 */
#define _GNU_SOURCE
#include "plugins/ScriptablePlugin.h"

#include <orvane/authentication/ActiveDirectoryClient.h>
#include <orvane/authentication/JORVProxyClient.h>
#include <orvane/authentication/PluginStatus.h>

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
    pthread_cond_broadcast(&changed);
    while (held[slot]) {
        pthread_cond_wait(&changed, &mutex);
    }
    return call < control->firstCalls[slot] ? control->firstStatus[slot] : control->status[slot];
}

static int32_t End(int32_t status)
{
    pthread_mutex_unlock(&mutex);
    return status;
}

/* Every result is one block; slot 0 logs what is no operation. */
static void Release(void* pointer)
{
    End(Begin(0, pointer != NULL ? "release\n" : "release(null)\n"));
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

/* Hands out the answer of a call with status 0 as a text, words or pairs. */
enum Kind { TEXT, WORDS, PAIRS };
static int32_t Answer(int32_t status, int slot, enum Kind kind, void* result, ReleaseFunction* release)
{
    if (status == ORVAUTH_STATUS_SUCCESS) {
        const char* answer = control->answer[slot];
        *(void**)result = kind == TEXT ? Copy(answer) : Array(answer, kind == PAIRS);
        *release = Release;
    }
    return End(status);
}

/* --- operations, by slot number and by what they answer ---------------------------- */

#define STATUS_OPERATION(Name, slot, Parameters, ...) \
    static int32_t Name Parameters { return End(Begin(slot, __VA_ARGS__)); }
#define ANSWER_OPERATION(Name, slot, kind, Parameters, ...) \
    static int32_t Name Parameters { return Answer(Begin(slot, __VA_ARGS__), slot, kind, result, release); }

static int32_t JoinDomain(const char* domain, const char* unit, const Credentials* credentials)
{
    int32_t status = Begin(1, "JoinDomain(%s, %s, %s:%s)\n", domain, Shown(unit), Shown(credentials->userName),
                           Shown(credentials->password));
    control->credentials = credentials;
    return End(status);
}

static int32_t PartDomain(const Credentials* credentials)
{
    int32_t status = credentials == NULL ? Begin(2, "PartDomain((null))\n")
                                         : Begin(2, "PartDomain(%s:%s)\n", Shown(credentials->userName),
                                                 Shown(credentials->password));
    control->credentials = credentials;
    return End(status);
}

static int32_t GetActiveDomain(DomainName* domain, ReleaseFunction* release)
{
    int32_t status = Begin(3, "GetActiveDomain()\n");
    DomainName** names = status == ORVAUTH_STATUS_SUCCESS ? Array(control->answer[3], 1) : NULL;
    if (names != NULL && names[0] != NULL) {
        domain->dnsName = Copy(names[0]->dnsName);
        domain->netbiosName = Copy(names[0]->netbiosName);
        *release = Release;
    }
    free(names);
    return End(status);
}

STATUS_OPERATION(SetPreferredDomainControllers, 4, (const char* const* controllers),
                 "SetPreferredDomainControllers(%s)\n", Spread(controllers, (char[512]){0}, 512))
ANSWER_OPERATION(GetPreferredDomainControllers, 5, WORDS, (char*** result, ReleaseFunction* release),
                "GetPreferredDomainControllers()\n")
STATUS_OPERATION(GetDomainTrustStateStatus, 7, (void), "GetDomainTrustState()\n")
static TrustState GetDomainTrustState(void) { return (TrustState)GetDomainTrustStateStatus(); }
ANSWER_OPERATION(GetTrustedDomains, 8, PAIRS, (DomainName*** result, ReleaseFunction* release), "GetTrustedDomains()\n")
ANSWER_OPERATION(GetMachineAccountDN, 9, TEXT, (char** result, ReleaseFunction* release), "GetMachineAccountDN()\n")
ANSWER_OPERATION(GetAnyDomainController, 10, TEXT, (const char* selector, const char* domain, char** result,
               ReleaseFunction* release), "GetAnyDomainController(%s, %s)\n", Shown(selector), domain)
ANSWER_OPERATION(ConvertCanonicalUsername, 11, TEXT, (const char* userName, char** result, ReleaseFunction* release),
               "ConvertCanonicalUsername(%s)\n", userName)
STATUS_OPERATION(JoinDomainWithMachineAccount, 12, (const struct ActiveDirectoryClientDomainInfo* domain,
                 const struct ActiveDirectoryClientMachineAccountInfo* account),
                 "JoinDomainWithMachineAccount(%s, %s, %s, %s, %s, %s, %s, %s, %s)\n", Shown(domain->domainController),
                 Shown(domain->netbiosName), Shown(domain->dnsName), Shown(domain->sid), Shown(account->hostName),
                 Shown(account->dnsDomainName), Shown(account->spareText), Shown(account->createdValue1),
                 Shown(account->createdValue2))
ANSWER_OPERATION(GetHostPrincipalForDomain, 13, TEXT, (const char* domain, char** result, ReleaseFunction* release),
               "GetHostPrincipalForDomain(%s)\n", domain)
STATUS_OPERATION(GetDomainTrustRelationshipStatus, 14, (const char* domain), "GetDomainTrustRelationship(%s)\n",
                 domain)
static uint32_t GetDomainTrustRelationship(const char* domain) { return (uint32_t)GetDomainTrustRelationshipStatus(domain); }
STATUS_OPERATION(SetSmartCardEnabledServices, 15, (const char* const* services), "SetSmartCardEnabledServices(%s)\n",
                 Spread(services, (char[512]){0}, 512))
ANSWER_OPERATION(GetSmartCardEnabledServices, 16, WORDS, (char*** result, ReleaseFunction* release),
                "GetSmartCardEnabledServices()\n")

/* --- the authentication-proxy client -------------------------------------------- */

static void ProxyLog(const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    size_t used = strlen(control->proxyLog);
    vsnprintf(control->proxyLog + used, sizeof control->proxyLog - used, format, arguments);
    va_end(arguments);
}

/* Hands out proxyAnswers[first..first+count) when the scripted status is 0. */
static JORVProxyStatus ProxyAnswer(char** outs[], int first, int count)
{
    for (int i = 0; i < count; ++i) {
        control->presetViolations += *outs[i] != NULL;
    }
    for (int i = 0; i < count && control->proxyStatus == 0; ++i) {
        control->outstanding += control->proxyAnswers[first + i] != NULL;
        *outs[i] = Copy(control->proxyAnswers[first + i]);
    }
    return control->proxyStatus;
}

static JORVProxyStatus GetDomainInfo(const char* server, int32_t verify, const char* thumbprint, char** netbiosName,
                                     char** dnsName, char** sid)
{
    ProxyLog("info %s %d %s;", server, verify, thumbprint);
    char** outs[] = {netbiosName, dnsName, sid};
    return ProxyAnswer(outs, 0, 3);
}

static JORVProxyStatus CreateMachineAccount(const char* server, const char* host, const char* container,
                                            int32_t verify, const char* thumbprint, char** created1, char** created2)
{
    ProxyLog("create %s %s %s %d %s;", server, host, Shown(container), verify, thumbprint);
    char** outs[] = {created1, created2};
    return ProxyAnswer(outs, 3, 2);
}

static JORVProxyStatus ReleaseText(char* text)
{
    ProxyLog("release %s;", Shown(text));
    control->outstanding -= text != NULL;
    free(text);
    return 0;
}

/* --- exported records ------------------------------------------------------------ */

#ifndef SCRIPTABLE_OMIT_METADATA
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
struct {
    int32_t apiVersion;
    void (*slots[11])(void);
} ActiveDirectoryClientOperations = {1, {(void (*)(void))JoinDomain}}; /* relocated, as the trap is */
static void PastTheEnd(void) { End(Begin(0, "past the end\n")); }
void (*ScriptablePastTheEnd[5])(void) = {PastTheEnd, PastTheEnd, PastTheEnd, PastTheEnd, PastTheEnd};
#elif !defined(SCRIPTABLE_OMIT_OPERATIONS)
struct ActiveDirectoryClientOperations ActiveDirectoryClientOperations;
#endif
const void* ScriptableFullOperations = &fullOperations; /* keeps every operation referenced */
#ifdef SCRIPTABLE_OMIT_OPERATIONS
static /* present, not exported */
#endif
struct JORVProxyClientOperations JORVProxyClientOperations;

/* --- control ----------------------------------------------------------------------- */

__attribute__((constructor)) void ScriptablePluginReset(void)
{
    pthread_mutex_lock(&mutex);
    memset(control, 0, sizeof *control);
    memset(held, 0, sizeof held);
    static const char* const PROXY_ANSWERS[5] = {"CORP", "corp.example", "S-1-5-21-1004336348-1177238915-682003330",
                                                 "created-value-1", "created-value-2"};
    memcpy(control->proxyAnswers, PROXY_ANSWERS, sizeof PROXY_ANSWERS);
    JORVProxyClientOperations =
        (struct JORVProxyClientOperations){NULL, GetDomainInfo, CreateMachineAccount, ReleaseText};
#ifndef SCRIPTABLE_OMIT_METADATA
    ActiveDirectoryClientMetadata = (struct ActiveDirectoryClientMetadata){
        3, SCRIPTABLE_PAM_MODULE, "  try_first_pass \t use_authtok   debug  ", "scriptable", NULL};
#endif
#ifndef SCRIPTABLE_OMIT_OPERATIONS
    memcpy(&ActiveDirectoryClientOperations, &fullOperations, sizeof ActiveDirectoryClientOperations);
    ActiveDirectoryClientOperations.apiVersion = sizeof ActiveDirectoryClientOperations < sizeof fullOperations ? 1 : 3;
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
