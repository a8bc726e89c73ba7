/*
 * The interface between the library and an authentication-proxy client
 * plug-in: the piece that asks a JORV server to create the host's machine
 * account in the directory, so that the host can join a domain without an
 * administrator password ever reaching it. Usable from C and C++.
 *
 * A plug-in is a shared object named lib<name>.so, installed in the plug-in
 * directory's lib64/ subdirectory or in the plug-in directory itself, where
 * <name> is the "provider" value of jorvprovider.conf. It exports one data
 * symbol:
 *
 *   struct JORVProxyClientOperations JORVProxyClientOperations;
 *
 * Rules for plug-in authors:
 *
 *  - Every operation returns a 32-bit status: 0 for success, otherwise a
 *    Windows system error code. The library turns 8, 1225, 1229 and 10060
 *    into its out-of-memory, connection-refused, connection-invalid and
 *    time-out exceptions, JORV_PROXY_STATUS_UNTRUSTED_CERTIFICATE into its
 *    untrusted-certificate exception, and anything else into an unknown
 *    exception carrying the status.
 *  - GetDomainInfo, CreateMachineAccount and Release must be present; the
 *    library refuses a table in which any of them is null. Reserved is
 *    neither read nor called.
 *  - All strings are NUL-terminated. The library sets every out pointer to
 *    null before a call. On success the plug-in sets each of them to a string
 *    it allocated; the library copies it and hands it back through Release
 *    before the call returns to the library's caller. On failure the library
 *    neither reads nor releases the out pointers, so the plug-in must not
 *    leave allocated memory in them.
 *  - verifyCertificate is 0 or 1. When it is 1 the plug-in must check the
 *    server's certificate against the expected thumbprint (twenty upper-case
 *    hexadecimal byte pairs of its SHA-1 digest joined by ':', possibly empty
 *    when none is trusted) and answer
 *    JORV_PROXY_STATUS_UNTRUSTED_CERTIFICATE when it does not match. The
 *    thumbprint is passed whatever the flag says.
 *  - The serverAddress is an IPv4 address in dotted-decimal text.
 *  - The library loads the plug-in for one operation and unloads it
 *    afterwards; the plug-in must not expect to stay loaded between calls.
 */
#ifndef ORVANE_AUTHENTICATION_JORVPROXYCLIENT_H
#define ORVANE_AUTHENTICATION_JORVPROXYCLIENT_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define JORV_PROXY_CLIENT_OPERATIONS_SYMBOL "JORVProxyClientOperations"

/* The status a plug-in answers when the server's certificate is not the
 * trusted one. */
#define JORV_PROXY_STATUS_UNTRUSTED_CERTIFICATE 0x80090325u

typedef uint32_t JORVProxyStatus;

struct JORVProxyClientOperations {
    /* 0: reserved for the plug-in's own use; may be null. */
    void (*Reserved)(void);

    /* 1: the domain the proxy serves. On success sets all three outs: the
     * domain's NetBIOS name, its DNS name and its SID in the proxy's text
     * form. */
    JORVProxyStatus (*GetDomainInfo)(const char* serverAddress, int32_t verifyCertificate, const char* thumbprint,
                                     char** netbiosName, char** dnsName, char** sid);

    /* 2: creates the machine account for hostName (the host's fully
     * qualified name). computerContainer is null when the caller named none,
     * leaving the choice to the proxy. On success sets both outs; the library
     * passes them on to the directory client unchanged. */
    JORVProxyStatus (*CreateMachineAccount)(const char* serverAddress, const char* hostName,
                                            const char* computerContainer, int32_t verifyCertificate,
                                            const char* thumbprint, char** createdValue1, char** createdValue2);

    /* 3: frees one string returned by entry 1 or 2. The result is ignored. */
    JORVProxyStatus (*Release)(char* text);
};

#ifdef __cplusplus
}
#endif

/* The table is an array of four pointer-sized entries; pin that layout for
 * plug-ins built by other compilers. */
#if defined(__cplusplus)
#define ORVAUTH_JORV_LAYOUT_ASSERT(condition, text) static_assert(condition, text)
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
#define ORVAUTH_JORV_LAYOUT_ASSERT(condition, text) _Static_assert(condition, text)
#endif

#ifdef ORVAUTH_JORV_LAYOUT_ASSERT
ORVAUTH_JORV_LAYOUT_ASSERT(sizeof(JORVProxyStatus) == 4, "statuses are 32-bit");
ORVAUTH_JORV_LAYOUT_ASSERT(offsetof(struct JORVProxyClientOperations, GetDomainInfo) == sizeof(void*),
                           "JORVProxyClientOperations layout");
ORVAUTH_JORV_LAYOUT_ASSERT(offsetof(struct JORVProxyClientOperations, CreateMachineAccount) == 2 * sizeof(void*),
                           "JORVProxyClientOperations layout");
ORVAUTH_JORV_LAYOUT_ASSERT(offsetof(struct JORVProxyClientOperations, Release) == 3 * sizeof(void*),
                           "JORVProxyClientOperations layout");
ORVAUTH_JORV_LAYOUT_ASSERT(sizeof(struct JORVProxyClientOperations) == 4 * sizeof(void*),
                           "JORVProxyClientOperations layout");
#undef ORVAUTH_JORV_LAYOUT_ASSERT
#endif

#endif /* ORVANE_AUTHENTICATION_JORVPROXYCLIENT_H */
