/* The scriptable proxy plug-in; see ScriptableProxy.h. Written in C so that
 * the library's plug-in header is compiled as C plug-in authors will. */
#include "ScriptableProxy.h"

#include <orvane/authentication/JORVProxyClient.h>

#include <stdlib.h>
#include <string.h>

#define EXPORT __attribute__((visibility("default")))

#ifndef SCRIPTABLE_PROXY_LOCATION
#define SCRIPTABLE_PROXY_LOCATION "lib64"
#endif

EXPORT struct ScriptableProxyControl ScriptableProxyControl;
EXPORT const char* ScriptableProxyLocation = SCRIPTABLE_PROXY_LOCATION;

static struct ScriptableProxyControl* const control = &ScriptableProxyControl;

static void Record(struct ScriptableProxyText* into, const char* text)
{
    into->isNull = text == NULL;
    into->text[0] = '\0';
    if (text != NULL) {
        strncpy(into->text, text, SCRIPTABLE_PROXY_TEXT_SIZE - 1);
        into->text[SCRIPTABLE_PROXY_TEXT_SIZE - 1] = '\0';
    }
}

static void Append(char* log, const char* text)
{
    size_t used = strlen(log);
    if (used + strlen(text) + 1 < SCRIPTABLE_PROXY_LOG_SIZE) {
        strcat(log, text);
    }
}

static void CheckPreset(char** out)
{
    if (*out != NULL) {
        ++control->presetViolations;
    }
}

static char* HandOut(const char* text)
{
    char* copy;
    if (text == NULL) {
        return NULL;
    }
    copy = strdup(text);
    ++control->outstanding;
    return copy;
}

static void Entry0(void)
{
    ++control->entry0Calls;
}

static JORVProxyStatus GetDomainInfo(const char* serverAddress, int32_t verifyCertificate, const char* thumbprint,
                                     char** netbiosName, char** dnsName, char** sid)
{
    ++control->domainInfoCalls;
    Append(control->callLog, "info ");
    Record(&control->lastDomainInfo.serverAddress, serverAddress);
    control->lastDomainInfo.verifyCertificate = verifyCertificate;
    Record(&control->lastDomainInfo.thumbprint, thumbprint);
    CheckPreset(netbiosName);
    CheckPreset(dnsName);
    CheckPreset(sid);
    if (control->domainInfoStatus != 0) {
        return control->domainInfoStatus;
    }
    *netbiosName = HandOut(control->netbiosName);
    *dnsName = HandOut(control->dnsName);
    *sid = HandOut(control->sid);
    return 0;
}

static JORVProxyStatus CreateMachineAccount(const char* serverAddress, const char* hostName,
                                            const char* computerContainer, int32_t verifyCertificate,
                                            const char* thumbprint, char** createdValue1, char** createdValue2)
{
    ++control->createCalls;
    Append(control->callLog, "create ");
    Record(&control->lastCreate.serverAddress, serverAddress);
    Record(&control->lastCreate.hostName, hostName);
    Record(&control->lastCreate.container, computerContainer);
    control->lastCreate.verifyCertificate = verifyCertificate;
    Record(&control->lastCreate.thumbprint, thumbprint);
    CheckPreset(createdValue1);
    CheckPreset(createdValue2);
    if (control->createStatus != 0) {
        return control->createStatus;
    }
    *createdValue1 = HandOut(control->createdValue1);
    *createdValue2 = HandOut(control->createdValue2);
    return 0;
}

static JORVProxyStatus Release(char* text)
{
    ++control->releaseCalls;
    if (text != NULL) {
        Append(control->releaseLog, text);
        --control->outstanding;
    }
    Append(control->releaseLog, "|");
    free(text);
    return 0;
}

#ifdef SCRIPTABLE_PROXY_OMIT_TABLE
/* Present but not exported: dlsym cannot find it. */
static struct JORVProxyClientOperations JORVProxyClientOperations;
#else
EXPORT struct JORVProxyClientOperations JORVProxyClientOperations;
#endif

static void ResetTable(void)
{
    JORVProxyClientOperations.Reserved = Entry0;
    JORVProxyClientOperations.GetDomainInfo = GetDomainInfo;
    JORVProxyClientOperations.CreateMachineAccount = CreateMachineAccount;
    JORVProxyClientOperations.Release = Release;
#ifdef SCRIPTABLE_PROXY_NULL_ENTRY0
    JORVProxyClientOperations.Reserved = NULL;
#endif
#ifdef SCRIPTABLE_PROXY_NULL_ENTRY2
    JORVProxyClientOperations.CreateMachineAccount = NULL;
#endif
}

EXPORT void ScriptableProxyReset(void)
{
    memset(control, 0, sizeof *control);
    control->netbiosName = "CORP";
    control->dnsName = "corp.example";
    control->sid = "S-1-5-21-1004336348-1177238915-682003330";
    control->createdValue1 = "created-value-1";
    control->createdValue2 = "created-value-2";
    ResetTable();
}

/* A plug-in the library loads without a test pinning it first starts from
 * the same defaults. */
__attribute__((constructor)) static void Initialise(void)
{
    ScriptableProxyReset();
}
