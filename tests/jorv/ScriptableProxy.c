/* The scriptable proxy plug-in; see ScriptableProxy.h. Written in C so that
 * the library's plug-in header is compiled as C plug-in authors will. */
#include "ScriptableProxy.h"

#include <orvane/authentication/JORVProxyClient.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define EXPORT __attribute__((visibility("default")))

EXPORT struct ScriptableProxyControl ScriptableProxyControl;
static struct ScriptableProxyControl* const control = &ScriptableProxyControl;

static void Log(const char* format, const char* a, const char* b, const char* c, int verify, const char* thumbprint)
{
    size_t used = strlen(control->log);
    snprintf(control->log + used, sizeof control->log - used, format, a, b, c ? c : "(null)", verify, thumbprint);
}

/* Hands out answers[first..first+count) when the scripted status is 0. */
static JORVProxyStatus Answer(char** outs[], int first, int count)
{
    for (int i = 0; i < count; ++i) {
        control->presetViolations += *outs[i] != NULL;
    }
    for (int i = 0; i < count && control->status == 0; ++i) {
        const char* text = control->answers[first + i];
        control->outstanding += text != NULL;
        *outs[i] = text != NULL ? strdup(text) : NULL;
    }
    return control->status;
}

static JORVProxyStatus GetDomainInfo(const char* server, int32_t verify, const char* thumbprint, char** netbiosName,
                                     char** dnsName, char** sid)
{
    Log("info %s%s%s %d %s;", server, "", "", verify, thumbprint);
    char** outs[] = {netbiosName, dnsName, sid};
    return Answer(outs, 0, 3);
}

static JORVProxyStatus CreateMachineAccount(const char* server, const char* host, const char* container,
                                            int32_t verify, const char* thumbprint, char** created1, char** created2)
{
    Log("create %s %s %s %d %s;", server, host, container, verify, thumbprint);
    char** outs[] = {created1, created2};
    return Answer(outs, 3, 2);
}

static JORVProxyStatus Release(char* text)
{
    Log("release %s%s%s;", text, "", "", 0, "");
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
    static const char* const ANSWERS[5] = {"CORP", "corp.example", "S-1-5-21-1004336348-1177238915-682003330",
                                           "created-value-1", "created-value-2"};
    memset(control, 0, sizeof *control);
    memcpy(control->answers, ANSWERS, sizeof ANSWERS);
    JORVProxyClientOperations.Reserved = NULL;
    JORVProxyClientOperations.GetDomainInfo = GetDomainInfo;
    JORVProxyClientOperations.CreateMachineAccount = CreateMachineAccount;
    JORVProxyClientOperations.Release = Release;
}

/* A plug-in the library loads without a test pinning it starts the same way. */
__attribute__((constructor)) static void Initialise(void)
{
    ScriptableProxyReset();
}
