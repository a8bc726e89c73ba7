/*
 * A scriptable authentication-proxy client plug-in for tests.
 *
 * A real shared object exporting the table of
 * <orvane/authentication/JORVProxyClient.h>, loaded by the library through
 * its ordinary dlopen path. Next to the table it exports a control block
 * through which a test scripts the answers and reads back what the library
 * passed in. Built variants (lib<name>.so; see tests/jorv/CMakeLists.txt):
 *
 *   jorvproxy              only in <plug-in dir>/lib64/; entry 0 present
 *   jorvproxy_base         only in the plug-in directory itself
 *   jorvproxy_both         in both; SCRIPTABLE_PROXY_LOCATION_SYMBOL names
 *                          the copy ("lib64" or "base")
 *   jorvproxy_no_entry0    entry 0 null
 *   jorvproxy_no_entry2    entry 2 null
 *   jorvproxy_no_table     exports no table at all
 *
 * The state lives in the plug-in's data, so it lasts as long as the plug-in
 * stays mapped: pin it by opening it first (ScriptableProxyLoader.h), and the
 * library's own dlopen of the same path shares that mapping. The table is
 * writable data: a test may null an entry after Reset and before the library
 * loads the plug-in.
 *
 * Strings handed out are fresh heap copies; Release frees them, records
 * their texts in order and counts them. A NULL answer text makes a
 * successful call leave that out pointer NULL.
 */
#ifndef ORVAUTH_TESTS_SCRIPTABLEPROXY_H
#define ORVAUTH_TESTS_SCRIPTABLEPROXY_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define SCRIPTABLE_PROXY_CONTROL_SYMBOL "ScriptableProxyControl"
#define SCRIPTABLE_PROXY_RESET_SYMBOL "ScriptableProxyReset"
#define SCRIPTABLE_PROXY_LOCATION_SYMBOL "ScriptableProxyLocation"

#define SCRIPTABLE_PROXY_TEXT_SIZE 256
#define SCRIPTABLE_PROXY_LOG_SIZE 1024

struct ScriptableProxyText {
    int isNull; /* the library passed NULL */
    char text[SCRIPTABLE_PROXY_TEXT_SIZE];
};

struct ScriptableProxyControl {
    /* --- answers (Reset: status 0 and the default texts below) ---------- */
    uint32_t domainInfoStatus;
    uint32_t createStatus;
    const char* netbiosName;   /* "CORP" */
    const char* dnsName;       /* "corp.example" */
    const char* sid;           /* "S-1-5-21-1004336348-1177238915-682003330" */
    const char* createdValue1; /* "created-value-1" */
    const char* createdValue2; /* "created-value-2" */

    /* --- recording -------------------------------------------------------- */
    unsigned entry0Calls;
    unsigned domainInfoCalls;
    unsigned createCalls;
    unsigned releaseCalls;
    int outstanding;            /* handed out and not yet released */
    unsigned presetViolations;  /* out pointers that were not NULL on entry */
    char callLog[SCRIPTABLE_PROXY_LOG_SIZE];    /* "info create info ..." */
    char releaseLog[SCRIPTABLE_PROXY_LOG_SIZE]; /* released texts, "|" after each */

    struct {
        struct ScriptableProxyText serverAddress;
        int32_t verifyCertificate;
        struct ScriptableProxyText thumbprint;
    } lastDomainInfo;

    struct {
        struct ScriptableProxyText serverAddress;
        struct ScriptableProxyText hostName;
        struct ScriptableProxyText container;
        int32_t verifyCertificate;
        struct ScriptableProxyText thumbprint;
    } lastCreate;
};

#ifdef __cplusplus
}
#endif

#endif /* ORVAUTH_TESTS_SCRIPTABLEPROXY_H */
