/*
 * A directory client plug-in whose queries can be held on a gate, so tests
 * can keep a background query running for as long as they need. Written in
 * C so that nothing pins it in memory: dlclose really unloads it, which the
 * unload counter lets a test observe.
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
    int32_t status;
    int calls;
    int inside;
    int maxInside;
    struct BlockingGate* gate;
};

static pthread_mutex_t stateMutex = PTHREAD_MUTEX_INITIALIZER;
static pthread_cond_t stateChanged = PTHREAD_COND_INITIALIZER;
static struct OperationState operationStates[BLOCKING_OPERATION_COUNT];
static char* activeDnsName;
static char* activeNetbiosName;
static char** preferredControllers;
static char* machineAccountDN;
static char** trustedDomainNames;
static TrustState trustState;
static int* unloadCounter;

/* --- helpers --------------------------------------------------------------- */

static char* CopyText(const char* text) { return text != NULL ? strdup(text) : NULL; }

static void FreeList(char** list)
{
    if (list != NULL) {
        for (char** entry = list; *entry != NULL; ++entry) {
            free(*entry);
        }
        free(list);
    }
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

/* Enters an operation: counts the call and waits while it is blocked.
 * Returns with stateMutex held. */
static void Enter(int operation)
{
    struct OperationState* state = &operationStates[operation];
    pthread_mutex_lock(&stateMutex);
    ++state->calls;
    if (++state->inside > state->maxInside) {
        state->maxInside = state->inside;
    }
    pthread_cond_broadcast(&stateChanged);
    while (state->blocked) {
        pthread_cond_wait(&stateChanged, &stateMutex);
    }
    struct BlockingGate* gate = state->gate;
    if (gate != NULL) {
        pthread_mutex_unlock(&stateMutex);
        pthread_mutex_lock(&gate->mutex);
        while (!gate->isOpen) {
            pthread_cond_wait(&gate->opened, &gate->mutex);
        }
        pthread_mutex_unlock(&gate->mutex);
        pthread_mutex_lock(&stateMutex);
    }
}

/* Leaves an operation entered with Enter; returns its status. */
static int32_t Leave(int operation)
{
    struct OperationState* state = &operationStates[operation];
    int32_t status = state->status;
    --state->inside;
    pthread_mutex_unlock(&stateMutex);
    return status;
}

static void ReleaseText(void* text) { free(text); }
static void ReleaseList(void* list) { FreeList(list); }

static void ReleaseDomainRecords(void* pointer)
{
    struct ActiveDirectoryClientDomainName** records = pointer;
    if (records != NULL) {
        for (struct ActiveDirectoryClientDomainName** record = records; *record != NULL; ++record) {
            free((*record)->dnsName);
            free((*record)->netbiosName);
            free(*record);
        }
        free(records);
    }
}

/* --- directory operations -------------------------------------------------- */

static int32_t GetActiveDomain(struct ActiveDirectoryClientDomainName* domain,
                               ActiveDirectoryClientReleaseFunction* release)
{
    Enter(BLOCKING_ACTIVE_DOMAIN);
    domain->dnsName = CopyText(activeDnsName);
    domain->netbiosName = CopyText(activeNetbiosName);
    *release = ReleaseText;
    int32_t status = Leave(BLOCKING_ACTIVE_DOMAIN);
    if (status != 0) {
        free(domain->dnsName);
        free(domain->netbiosName);
        domain->dnsName = domain->netbiosName = NULL;
    }
    return status;
}

static int32_t GetPreferredDomainControllers(char*** controllers, ActiveDirectoryClientReleaseFunction* release)
{
    Enter(BLOCKING_PREFERRED_CONTROLLERS);
    char** copy = preferredControllers != NULL ? CopyList((const char* const*)preferredControllers) : NULL;
    int32_t status = Leave(BLOCKING_PREFERRED_CONTROLLERS);
    if (status != 0) {
        FreeList(copy);
        return status;
    }
    *controllers = copy;
    *release = ReleaseList;
    return 0;
}

static int32_t GetMachineAccountDN(char** distinguishedName, ActiveDirectoryClientReleaseFunction* release)
{
    Enter(BLOCKING_MACHINE_ACCOUNT_DN);
    char* copy = CopyText(machineAccountDN);
    int32_t status = Leave(BLOCKING_MACHINE_ACCOUNT_DN);
    if (status != 0) {
        free(copy);
        return status;
    }
    *distinguishedName = copy;
    *release = ReleaseText;
    return 0;
}

static int32_t GetTrustedDomains(struct ActiveDirectoryClientDomainName*** domains,
                                 ActiveDirectoryClientReleaseFunction* release)
{
    Enter(BLOCKING_TRUSTED_DOMAINS);
    size_t count = 0;
    while (trustedDomainNames != NULL && trustedDomainNames[2 * count] != NULL) {
        ++count;
    }
    struct ActiveDirectoryClientDomainName** records = calloc(count + 1, sizeof *records);
    for (size_t i = 0; i < count; ++i) {
        records[i] = malloc(sizeof **records);
        records[i]->dnsName = strdup(trustedDomainNames[2 * i]);
        records[i]->netbiosName = strdup(trustedDomainNames[2 * i + 1]);
    }
    int32_t status = Leave(BLOCKING_TRUSTED_DOMAINS);
    if (status != 0) {
        ReleaseDomainRecords(records);
        return status;
    }
    *domains = records;
    *release = ReleaseDomainRecords;
    return 0;
}

static TrustState GetDomainTrustState(void)
{
    Enter(BLOCKING_TRUST_STATE);
    TrustState state = trustState;
    Leave(BLOCKING_TRUST_STATE);
    return state;
}

/* --- exported records ------------------------------------------------------ */

struct ActiveDirectoryClientMetadata ActiveDirectoryClientMetadata = {
    3, "pam_blocking.so", NULL, "blocking", NULL,
};

struct ActiveDirectoryClientOperations ActiveDirectoryClientOperations = {
    .apiVersion = 3,
    .GetActiveDomain = GetActiveDomain,
    .GetPreferredDomainControllers = GetPreferredDomainControllers,
    .GetDomainTrustState = GetDomainTrustState,
    .GetTrustedDomains = GetTrustedDomains,
    .GetMachineAccountDN = GetMachineAccountDN,
};

/* --- control ---------------------------------------------------------------- */

static void Block(int operation)
{
    pthread_mutex_lock(&stateMutex);
    operationStates[operation].blocked = 1;
    pthread_mutex_unlock(&stateMutex);
}

static void Release(int operation)
{
    pthread_mutex_lock(&stateMutex);
    operationStates[operation].blocked = 0;
    pthread_cond_broadcast(&stateChanged);
    pthread_mutex_unlock(&stateMutex);
}

static void SetGate(int operation, struct BlockingGate* gate)
{
    pthread_mutex_lock(&stateMutex);
    operationStates[operation].gate = gate;
    pthread_mutex_unlock(&stateMutex);
}

static void SetStatus(int operation, int32_t status)
{
    pthread_mutex_lock(&stateMutex);
    operationStates[operation].status = status;
    pthread_mutex_unlock(&stateMutex);
}

/* Only called while no query runs: the library reads the table unlocked. */
static void RemoveSlot(int operation)
{
    switch (operation) {
    case BLOCKING_ACTIVE_DOMAIN: ActiveDirectoryClientOperations.GetActiveDomain = NULL; break;
    case BLOCKING_PREFERRED_CONTROLLERS: ActiveDirectoryClientOperations.GetPreferredDomainControllers = NULL; break;
    case BLOCKING_MACHINE_ACCOUNT_DN: ActiveDirectoryClientOperations.GetMachineAccountDN = NULL; break;
    case BLOCKING_TRUSTED_DOMAINS: ActiveDirectoryClientOperations.GetTrustedDomains = NULL; break;
    case BLOCKING_TRUST_STATE: ActiveDirectoryClientOperations.GetDomainTrustState = NULL; break;
    default: break;
    }
}

static int Calls(int operation)
{
    pthread_mutex_lock(&stateMutex);
    int calls = operationStates[operation].calls;
    pthread_mutex_unlock(&stateMutex);
    return calls;
}

static int MaxConcurrent(int operation)
{
    pthread_mutex_lock(&stateMutex);
    int most = operationStates[operation].maxInside;
    pthread_mutex_unlock(&stateMutex);
    return most;
}

static int WaitForCalls(int operation, int count)
{
    /* The condition variable runs on the wall clock by default; a generous
     * limit only guards against a test hanging forever. */
    struct timespec deadline;
    clock_gettime(CLOCK_REALTIME, &deadline);
    deadline.tv_sec += 10;
    pthread_mutex_lock(&stateMutex);
    int rc = 0;
    while (operationStates[operation].calls < count && rc != ETIMEDOUT) {
        rc = pthread_cond_timedwait(&stateChanged, &stateMutex, &deadline);
    }
    int reached = operationStates[operation].calls >= count;
    pthread_mutex_unlock(&stateMutex);
    return reached;
}

static void SetActiveDomain(const char* dnsName, const char* netbiosName)
{
    pthread_mutex_lock(&stateMutex);
    free(activeDnsName);
    free(activeNetbiosName);
    activeDnsName = CopyText(dnsName);
    activeNetbiosName = CopyText(netbiosName);
    pthread_mutex_unlock(&stateMutex);
}

static void SetPreferredControllers(const char* const* controllers)
{
    pthread_mutex_lock(&stateMutex);
    FreeList(preferredControllers);
    preferredControllers = controllers != NULL ? CopyList(controllers) : NULL;
    pthread_mutex_unlock(&stateMutex);
}

static void SetMachineAccountDN(const char* distinguishedName)
{
    pthread_mutex_lock(&stateMutex);
    free(machineAccountDN);
    machineAccountDN = CopyText(distinguishedName);
    pthread_mutex_unlock(&stateMutex);
}

static void SetTrustedDomains(const char* const* names)
{
    pthread_mutex_lock(&stateMutex);
    FreeList(trustedDomainNames);
    trustedDomainNames = names != NULL ? CopyList(names) : NULL;
    pthread_mutex_unlock(&stateMutex);
}

static void SetTrustState(uint32_t state)
{
    pthread_mutex_lock(&stateMutex);
    trustState = state;
    pthread_mutex_unlock(&stateMutex);
}

static void SetUnloadCounter(int* counter)
{
    pthread_mutex_lock(&stateMutex);
    unloadCounter = counter;
    pthread_mutex_unlock(&stateMutex);
}

const struct BlockingClientControlTable BlockingClientControl = {
    Block,           Release,          SetGate,           SetStatus,         RemoveSlot,
    Calls,           MaxConcurrent,    WaitForCalls,      SetActiveDomain,   SetPreferredControllers,
    SetMachineAccountDN, SetTrustedDomains, SetTrustState, SetUnloadCounter,
};

__attribute__((destructor)) static void Unloaded(void)
{
    FreeList(preferredControllers);
    FreeList(trustedDomainNames);
    free(activeDnsName);
    free(activeNetbiosName);
    free(machineAccountDN);
    if (unloadCounter != NULL) {
        __atomic_fetch_add(unloadCounter, 1, __ATOMIC_SEQ_CST);
    }
}
