/*
 * A scriptable authentication-proxy client plug-in for tests: a real shared
 * object exporting the table of <orvane/authentication/JORVProxyClient.h>,
 * loaded by the library through its ordinary dlopen path, plus a control
 * block through which a test scripts the answers and reads back what the
 * library passed. Variants (see CMakeLists.txt): jorvproxy (in lib64/ only),
 * jorvproxy_base (base directory only), jorvproxy_both (in both),
 * jorvproxy_no_entry2 (entry 2 null), jorvproxy_no_table (no table).
 *
 * The state lives in the plug-in's data: a test pins the plug-in
 * (ScriptableProxyLoader.h) and the library's own dlopen shares that
 * mapping. The table is writable: a test may null an entry before the
 * library loads the plug-in. Strings handed out are fresh heap copies.
 */
#ifndef ORVAUTH_TESTS_SCRIPTABLEPROXY_H
#define ORVAUTH_TESTS_SCRIPTABLEPROXY_H

#include <stdint.h>

#define SCRIPTABLE_PROXY_CONTROL_SYMBOL "ScriptableProxyControl"
#define SCRIPTABLE_PROXY_RESET_SYMBOL "ScriptableProxyReset"
#define SCRIPTABLE_PROXY_TEXT_SIZE 256
#define SCRIPTABLE_PROXY_LOG_SIZE 1024

struct ScriptableProxyText {
    int isNull; /* the library passed NULL */
    char text[SCRIPTABLE_PROXY_TEXT_SIZE];
};

/* What one entry was last called with; hostName and container only for entry 2. */
struct ScriptableProxyCall {
    struct ScriptableProxyText serverAddress, hostName, container, thumbprint;
    int32_t verifyCertificate;
};

struct ScriptableProxyControl {
    /* Answers. A NULL text makes a successful call leave that out pointer NULL. */
    uint32_t domainInfoStatus, createStatus;
    const char *netbiosName, *dnsName, *sid, *createdValue1, *createdValue2;

    char callLog[SCRIPTABLE_PROXY_LOG_SIZE];    /* "info create entry0 ..." */
    char releaseLog[SCRIPTABLE_PROXY_LOG_SIZE]; /* each released text, "|" after each */
    int outstanding;                            /* handed out and not yet released */
    unsigned presetViolations;                  /* out pointers not NULL on entry */
    struct ScriptableProxyCall lastDomainInfo, lastCreate;
};

#endif /* ORVAUTH_TESTS_SCRIPTABLEPROXY_H */
