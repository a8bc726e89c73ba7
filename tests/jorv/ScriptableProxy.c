/* The scriptable proxy plug-in; see ScriptableProxy.h. Written in C so that
 * the library's plug-in header is compiled as C plug-in authors will. */
#include "ScriptableProxy.h"

#include <orvane/authentication/JORVProxyClient.h>

#include <stdlib.h>
#include <string.h>

#define EXPORT __attribute__((visibility("default")))

EXPORT struct ScriptableProxyControl ScriptableProxyControl;
static struct ScriptableProxyControl* const control = &ScriptableProxyControl;

static void Record(struct ScriptableProxyText* into, const char* text)
{
    into->isNull = text == NULL;
    into->text[0] = '\0';
    if (text != NULL) {
        strncat(into->text, text, SCRIPTABLE_PROXY_TEXT_SIZE - 1);
    }
}

static void Append(char* log, const char* text)
{
    strncat(log, text, SCRIPTABLE_PROXY_LOG_SIZE - strlen(log) - 1);
}

static char* HandOut(const char* text)
{
    if (text == NULL) {
        return NULL;
    }
    ++control->outstanding;
    return strdup(text);
}

static void Entry0(void)
{
    Append(control->callLog, "entry0 ");
}

static JORVProxyStatus GetDomainInfo(const char* serverAddress, int32_t verifyCertificate, const char* thumbprint,
                                     char** netbiosName, char** dnsName, char** sid)
{
    Append(control->callLog, "info ");
    Record(&control->lastDomainInfo.serverAddress, serverAddress);
    control->lastDomainInfo.verifyCertificate = verifyCertificate;
    Record(&control->lastDomainInfo.thumbprint, thumbprint);
    control->presetViolations += (*netbiosName != NULL) + (*dnsName != NULL) + (*sid != NULL);
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
    Append(control->callLog, "create ");
    Record(&control->lastCreate.serverAddress, serverAddress);
    Record(&control->lastCreate.hostName, hostName);
    Record(&control->lastCreate.container, computerContainer);
    control->lastCreate.verifyCertificate = verifyCertificate;
    Record(&control->lastCreate.thumbprint, thumbprint);
    control->presetViolations += (*createdValue1 != NULL) + (*createdValue2 != NULL);
    if (control->createStatus != 0) {
        return control->createStatus;
    }
    *createdValue1 = HandOut(control->createdValue1);
    *createdValue2 = HandOut(control->createdValue2);
    return 0;
}

static JORVProxyStatus Release(char* text)
{
    Append(control->releaseLog, text != NULL ? text : "(null)");
    Append(control->releaseLog, "|");
    control->outstanding -= text != NULL;
    free(text);
    return 0;
}

#ifdef SCRIPTABLE_PROXY_OMIT_TABLE
static struct JORVProxyClientOperations JORVProxyClientOperations; /* present but not exported */
#else
EXPORT struct JORVProxyClientOperations JORVProxyClientOperations;
#endif

EXPORT void ScriptableProxyReset(void)
{
    memset(control, 0, sizeof *control);
    control->netbiosName = "CORP";
    control->dnsName = "corp.example";
    control->sid = "S-1-5-21-1004336348-1177238915-682003330";
    control->createdValue1 = "created-value-1";
    control->createdValue2 = "created-value-2";
    JORVProxyClientOperations.Reserved = Entry0;
    JORVProxyClientOperations.GetDomainInfo = GetDomainInfo;
    JORVProxyClientOperations.CreateMachineAccount = CreateMachineAccount;
    JORVProxyClientOperations.Release = Release;
#ifdef SCRIPTABLE_PROXY_NULL_ENTRY2
    JORVProxyClientOperations.CreateMachineAccount = NULL;
#endif
}

/* A plug-in the library loads without a test pinning it starts the same way. */
__attribute__((constructor)) static void Initialise(void)
{
    ScriptableProxyReset();
}
