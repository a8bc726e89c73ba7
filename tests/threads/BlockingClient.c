/*
 * A directory client plug-in whose queries can be held until the test lets
 * them go, so a background query keeps running for as long as a test needs.
 * Written in C so that nothing pins it in memory: dlclose really unloads it,
 * which the unload counter lets a test observe.
 */
#define _POSIX_C_SOURCE 200809L

#include "BlockingClient.h"

#include <orvane/authentication/ActiveDirectoryClient.h>

#include <errno.h>
#include <pthread.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

struct OperationState {
    int blocked;
    int calls;
    int inside;
    int maxInside;
    int32_t status; /* the trust state itself for BLOCKING_TRUST_STATE */
    char** texts;   /* the scripted answer, NULL-terminated */
};

static pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
static pthread_cond_t changed = PTHREAD_COND_INITIALIZER;
static struct OperationState states[BLOCKING_OPERATION_COUNT];
static int* unloadCounter;

static void FreeList(void* pointer)
{
    char** list = pointer;
    for (char** entry = list; entry != NULL && *entry != NULL; ++entry) {
        free(*entry);
    }
    free(list);
}

static char** CopyList(const char* const* list)
{
    size_t count = 0;
    while (list != NULL && list[count] != NULL) {
        ++count;
    }
    char** copy = calloc(count + 1, sizeof *copy);
    for (size_t i = 0; i < count; ++i) {
        copy[i] = strdup(list[i]);
    }
    return copy;
}

/* Counts the call, waits while the operation is blocked and returns its
 * status; on success *answer (when given) receives a copy of the texts. */
static int32_t Call(int operation, char*** answer)
{
    struct OperationState* state = &states[operation];
    pthread_mutex_lock(&mutex);
    ++state->calls;
    if (++state->inside > state->maxInside) {
        state->maxInside = state->inside;
    }
    pthread_cond_broadcast(&changed);
    while (state->blocked) {
        pthread_cond_wait(&changed, &mutex);
    }
    --state->inside;
    int32_t status = state->status;
    if (answer != NULL && status == 0) {
        *answer = CopyList((const char* const*)state->texts);
    }
    pthread_mutex_unlock(&mutex);
    return status;
}

/* --- directory operations -------------------------------------------------- */

static int32_t GetActiveDomain(struct ActiveDirectoryClientDomainName* domain,
                               ActiveDirectoryClientReleaseFunction* release)
{
    char** names = NULL;
    int32_t status = Call(BLOCKING_ACTIVE_DOMAIN, &names);
    if (status == 0) {
        domain->dnsName = names[0];
        domain->netbiosName = names[0] != NULL ? names[1] : NULL;
        free(names);
        *release = free;
    }
    return status;
}

static int32_t GetPreferredDomainControllers(char*** controllers, ActiveDirectoryClientReleaseFunction* release)
{
    int32_t status = Call(BLOCKING_PREFERRED_CONTROLLERS, controllers);
    if (status == 0) {
        *release = FreeList;
    }
    return status;
}

static int32_t GetMachineAccountDN(char** distinguishedName, ActiveDirectoryClientReleaseFunction* release)
{
    char** texts = NULL;
    int32_t status = Call(BLOCKING_MACHINE_ACCOUNT_DN, &texts);
    if (status == 0) {
        *distinguishedName = texts[0];
        free(texts);
        *release = free;
    }
    return status;
}

static void FreeDomainRecords(void* pointer)
{
    struct ActiveDirectoryClientDomainName** records = pointer;
    for (size_t i = 0; records[i] != NULL; ++i) {
        free(records[i]->dnsName);
        free(records[i]->netbiosName);
        free(records[i]);
    }
    free(records);
}

static int32_t GetTrustedDomains(struct ActiveDirectoryClientDomainName*** domains,
                                 ActiveDirectoryClientReleaseFunction* release)
{
    char** names = NULL;
    int32_t status = Call(BLOCKING_TRUSTED_DOMAINS, &names);
    if (status == 0) {
        size_t count = 0;
        while (names[2 * count] != NULL) { /* the names come in pairs */
            ++count;
        }
        struct ActiveDirectoryClientDomainName** records = calloc(count + 1, sizeof *records);
        for (size_t i = 0; i < count; ++i) {
            records[i] = malloc(sizeof **records);
            records[i]->dnsName = names[2 * i];
            records[i]->netbiosName = names[2 * i + 1];
        }
        free(names);
        *domains = records;
        *release = FreeDomainRecords;
    }
    return status;
}

static TrustState GetDomainTrustState(void) { return (TrustState)Call(BLOCKING_TRUST_STATE, NULL); }

/* --- exported records ------------------------------------------------------ */

struct ActiveDirectoryClientMetadata ActiveDirectoryClientMetadata = {3, "pam_blocking.so", NULL, "blocking", NULL};

struct ActiveDirectoryClientOperations ActiveDirectoryClientOperations = {
    .apiVersion = 3,
    .GetActiveDomain = GetActiveDomain,
    .GetPreferredDomainControllers = GetPreferredDomainControllers,
    .GetDomainTrustState = GetDomainTrustState,
    .GetTrustedDomains = GetTrustedDomains,
    .GetMachineAccountDN = GetMachineAccountDN,
};

/* --- control ---------------------------------------------------------------- */

static void SetBlocked(int operation, int blocked)
{
    pthread_mutex_lock(&mutex);
    states[operation].blocked = blocked;
    pthread_cond_broadcast(&changed);
    pthread_mutex_unlock(&mutex);
}

static void Block(int operation) { SetBlocked(operation, 1); }
static void Release(int operation) { SetBlocked(operation, 0); }

static void SetStatus(int operation, int32_t status)
{
    pthread_mutex_lock(&mutex);
    states[operation].status = status;
    pthread_mutex_unlock(&mutex);
}

static int Counter(const int* counter)
{
    pthread_mutex_lock(&mutex);
    int value = *counter;
    pthread_mutex_unlock(&mutex);
    return value;
}

static int Calls(int operation) { return Counter(&states[operation].calls); }
static int MaxConcurrent(int operation) { return Counter(&states[operation].maxInside); }

static int WaitForCalls(int operation, int count)
{
    /* A generous limit only guards against a test hanging for ever. */
    struct timespec deadline;
    clock_gettime(CLOCK_REALTIME, &deadline);
    deadline.tv_sec += 10;
    pthread_mutex_lock(&mutex);
    int rc = 0;
    while (states[operation].calls < count && rc != ETIMEDOUT) {
        rc = pthread_cond_timedwait(&changed, &mutex, &deadline);
    }
    int reached = states[operation].calls >= count;
    pthread_mutex_unlock(&mutex);
    return reached;
}

static void SetTexts(int operation, const char* const* texts)
{
    char** copy = CopyList(texts);
    pthread_mutex_lock(&mutex);
    FreeList(states[operation].texts);
    states[operation].texts = copy;
    pthread_mutex_unlock(&mutex);
}

static void SetActiveDomain(const char* dnsName, const char* netbiosName)
{
    const char* names[] = {dnsName, netbiosName, NULL};
    SetTexts(BLOCKING_ACTIVE_DOMAIN, names);
}

static void SetPreferredControllers(const char* const* list) { SetTexts(BLOCKING_PREFERRED_CONTROLLERS, list); }

static void SetMachineAccountDN(const char* distinguishedName)
{
    const char* texts[] = {distinguishedName, NULL};
    SetTexts(BLOCKING_MACHINE_ACCOUNT_DN, texts);
}

static void SetTrustedDomains(const char* const* names) { SetTexts(BLOCKING_TRUSTED_DOMAINS, names); }
static void SetTrustState(uint32_t state) { SetStatus(BLOCKING_TRUST_STATE, (int32_t)state); }

/* Set before any query starts a worker, read when the plug-in is unloaded. */
static void SetUnloadCounter(int* counter) { unloadCounter = counter; }

const struct BlockingClientControlTable BlockingClientControl = {
    Block, Release, SetStatus, Calls, MaxConcurrent, WaitForCalls, SetActiveDomain,
    SetPreferredControllers, SetMachineAccountDN, SetTrustedDomains, SetTrustState, SetUnloadCounter,
};

__attribute__((destructor)) static void Unloaded(void)
{
    for (int operation = 0; operation < BLOCKING_OPERATION_COUNT; ++operation) {
        FreeList(states[operation].texts);
    }
    if (unloadCounter != NULL) {
        __atomic_fetch_add(unloadCounter, 1, __ATOMIC_SEQ_CST);
    }
}
