/*
 * The interface between the library and an Active Directory client plug-in.
 * Usable from C and C++. A plug-in is a shared object that exports two data
 * symbols:
 *
 *   struct ActiveDirectoryClientMetadata   ActiveDirectoryClientMetadata;
 *   struct ActiveDirectoryClientOperations ActiveDirectoryClientOperations;
 *
 * Every operation that returns a status returns 0 for success and otherwise
 * a Windows system error code (see the library's exception mapping). Any
 * operation slot may be null: the library then reports the operation as not
 * supported. Memory a plug-in hands out is always returned to it through the
 * release function it passes back with the result. Operations may be called
 * concurrently from several threads.
 */
#ifndef ORVANE_AUTHENTICATION_ACTIVEDIRECTORYCLIENT_H
#define ORVANE_AUTHENTICATION_ACTIVEDIRECTORYCLIENT_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define ACTIVE_DIRECTORY_CLIENT_METADATA_SYMBOL "ActiveDirectoryClientMetadata"
#define ACTIVE_DIRECTORY_CLIENT_OPERATIONS_SYMBOL "ActiveDirectoryClientOperations"
/* Highest metadata API version this library accepts. */
#define ACTIVE_DIRECTORY_CLIENT_MAX_API_VERSION 4

/* Credentials for a join or leave. The library reads only the first two
 * members and passes the caller's record through unchanged. */
typedef struct Credentials {
    const char* userName; /* null: none given */
    const char* password; /* null or empty: none given */
} Credentials;

/* The domain trust state as the plug-in reports it. */
typedef uint32_t TrustState;

/* Hands plug-in memory back to the plug-in. */
typedef void (*ActiveDirectoryClientReleaseFunction)(void* pointer);

struct ActiveDirectoryClientMetadata {
    int32_t apiVersion;              /* 4 or less */
    const char* pamModule;           /* never null */
    const char* pamModuleParameters; /* white-space separated words, or null */
    const char* nssModule;           /* never null */
    const char* nssModuleParameters; /* white-space separated words, or null */
};

/* A domain's two names; both must be set in a trusted-domain record. */
struct ActiveDirectoryClientDomainName {
    char* dnsName;
    char* netbiosName;
};

/* The domain an authentication proxy reported, for a machine-account join. */
struct ActiveDirectoryClientDomainInfo {
    const char* domainController;
    const char* netbiosName;
    const char* dnsName;
    const char* sid;
};

/* The machine account a proxy created, for a machine-account join. */
struct ActiveDirectoryClientMachineAccountInfo {
    const char* hostName;
    const char* dnsDomainName;
    const char* spareText;
    const char* createdValue1;
    const char* createdValue2;
};

struct ActiveDirectoryClientOperations {
    /* 1: slots 1 to 11; 2: also 12 and 13; 3: also 14 to 16; 4: all. The library never reads
     * a slot beyond the version, so an older plug-in may export a table
     * that ends after its version's last slot. */
    int32_t apiVersion;

    /* 1: organizationalUnit is null when none is given. A null user name
     * with a password asks for a join with the computer account preset for
     * this host, the password being its one-time password; a plug-in
     * without such accounts refuses it. */
    int32_t (*JoinDomain)(const char* domain, const char* organizationalUnit, const Credentials* credentials);
    /* 2: credentials may be null. */
    int32_t (*PartDomain)(const Credentials* credentials);
    /* 3: both names are preset to null; the plug-in sets those it knows. */
    int32_t (*GetActiveDomain)(struct ActiveDirectoryClientDomainName* domain,
                               ActiveDirectoryClientReleaseFunction* release);
    /* 4: a NULL-terminated array. */
    int32_t (*SetPreferredDomainControllers)(const char* const* controllers);
    /* 5: a NULL-terminated array, released as a whole. */
    int32_t (*GetPreferredDomainControllers)(char*** controllers, ActiveDirectoryClientReleaseFunction* release);
    /* 6: reserved; never called by the library. */
    void (*Reserved)(void);
    /* 7: no status. */
    TrustState (*GetDomainTrustState)(void);
    /* 8: a NULL-terminated array of records, released as a whole. */
    int32_t (*GetTrustedDomains)(struct ActiveDirectoryClientDomainName*** domains,
                                 ActiveDirectoryClientReleaseFunction* release);
    /* 9 */
    int32_t (*GetMachineAccountDN)(char** distinguishedName, ActiveDirectoryClientReleaseFunction* release);
    /* 10: selector is null when empty. */
    int32_t (*GetAnyDomainController)(const char* selector, const char* domain, char** controller,
                                      ActiveDirectoryClientReleaseFunction* release);
    /* 11 */
    int32_t (*ConvertCanonicalUsername)(const char* userName, char** canonicalName,
                                        ActiveDirectoryClientReleaseFunction* release);
    /* 12: apiVersion 2 or more. */
    int32_t (*JoinDomainWithMachineAccount)(const struct ActiveDirectoryClientDomainInfo* domain,
                                            const struct ActiveDirectoryClientMachineAccountInfo* account);
    /* 13: apiVersion 2 or more. */
    int32_t (*GetHostPrincipalForDomain)(const char* domain, char** principal,
                                         ActiveDirectoryClientReleaseFunction* release);
    /* 14: apiVersion 3; no status. */
    uint32_t (*GetDomainTrustRelationship)(const char* domain);
    /* 15: apiVersion 3; a NULL-terminated array. */
    int32_t (*SetSmartCardEnabledServices)(const char* const* services);
    /* 16: apiVersion 3; a NULL-terminated array, released as a whole. */
    int32_t (*GetSmartCardEnabledServices)(char*** services, ActiveDirectoryClientReleaseFunction* release);
    /* 17: apiVersion 4; a new machine account password now, in the
     * directory and the host's keys. A failure leaves both as they were. */
    int32_t (*RenewMachinePassword)(void);
};

#ifdef __cplusplus
}
#endif

/* The records are shared with plug-ins built by other compilers: pin the
 * 64-bit layout. */
#if UINTPTR_MAX == 0xffffffffffffffffu
#if defined(__cplusplus)
#define ORVAUTH_LAYOUT_ASSERT(condition, text) static_assert(condition, text)
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
#define ORVAUTH_LAYOUT_ASSERT(condition, text) _Static_assert(condition, text)
#endif
#endif

#ifdef ORVAUTH_LAYOUT_ASSERT
ORVAUTH_LAYOUT_ASSERT(offsetof(struct ActiveDirectoryClientMetadata, pamModule) == 8, "metadata layout");
ORVAUTH_LAYOUT_ASSERT(offsetof(struct ActiveDirectoryClientMetadata, pamModuleParameters) == 16, "metadata layout");
ORVAUTH_LAYOUT_ASSERT(offsetof(struct ActiveDirectoryClientMetadata, nssModule) == 24, "metadata layout");
ORVAUTH_LAYOUT_ASSERT(offsetof(struct ActiveDirectoryClientMetadata, nssModuleParameters) == 32, "metadata layout");
ORVAUTH_LAYOUT_ASSERT(sizeof(struct ActiveDirectoryClientMetadata) == 40, "metadata layout");
ORVAUTH_LAYOUT_ASSERT(offsetof(struct ActiveDirectoryClientOperations, JoinDomain) == 8, "operations layout");
ORVAUTH_LAYOUT_ASSERT(offsetof(struct ActiveDirectoryClientOperations, GetActiveDomain) == 24, "operations layout");
ORVAUTH_LAYOUT_ASSERT(offsetof(struct ActiveDirectoryClientOperations, GetDomainTrustState) == 56,
                      "operations layout");
ORVAUTH_LAYOUT_ASSERT(offsetof(struct ActiveDirectoryClientOperations, GetTrustedDomains) == 64, "operations layout");
ORVAUTH_LAYOUT_ASSERT(offsetof(struct ActiveDirectoryClientOperations, JoinDomainWithMachineAccount) == 96,
                      "operations layout");
ORVAUTH_LAYOUT_ASSERT(offsetof(struct ActiveDirectoryClientOperations, GetDomainTrustRelationship) == 112,
                      "operations layout");
ORVAUTH_LAYOUT_ASSERT(offsetof(struct ActiveDirectoryClientOperations, GetSmartCardEnabledServices) == 128,
                      "operations layout");
ORVAUTH_LAYOUT_ASSERT(offsetof(struct ActiveDirectoryClientOperations, RenewMachinePassword) == 136,
                      "operations layout");
ORVAUTH_LAYOUT_ASSERT(sizeof(struct ActiveDirectoryClientOperations) == 144, "operations layout");
ORVAUTH_LAYOUT_ASSERT(offsetof(struct ActiveDirectoryClientDomainInfo, sid) == 24, "domain info layout");
ORVAUTH_LAYOUT_ASSERT(offsetof(struct ActiveDirectoryClientMachineAccountInfo, createdValue2) == 32,
                      "machine account layout");
ORVAUTH_LAYOUT_ASSERT(sizeof(Credentials) >= 16 && offsetof(Credentials, password) == 8, "credentials layout");
#undef ORVAUTH_LAYOUT_ASSERT
#endif

#endif /* ORVANE_AUTHENTICATION_ACTIVEDIRECTORYCLIENT_H */
