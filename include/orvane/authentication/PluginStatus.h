/*
 * The numbers a plug-in answers with, by name: the statuses its operations
 * return, the trust states of slot 7 and the trust relationships of slot 14.
 * Usable from C and C++.
 *
 * Every status in the table has its own exception in the library; any other
 * non-zero status reaches the caller as an internal error.
 */
#ifndef ORVANE_AUTHENTICATION_PLUGINSTATUS_H
#define ORVANE_AUTHENTICATION_PLUGINSTATUS_H

/* ORVAUTH_PLUGIN_STATUS_ROW(name, code): one row per code, ascending. */
#define ORVAUTH_PLUGIN_STATUS_TABLE(ORVAUTH_PLUGIN_STATUS_ROW)                                      \
    ORVAUTH_PLUGIN_STATUS_ROW(ORVAUTH_STATUS_FILE_NOT_FOUND, 2)                                     \
    ORVAUTH_PLUGIN_STATUS_ROW(ORVAUTH_STATUS_ACCESS_DENIED, 5)                                      \
    ORVAUTH_PLUGIN_STATUS_ROW(ORVAUTH_STATUS_NOT_ENOUGH_MEMORY, 8)                                  \
    ORVAUTH_PLUGIN_STATUS_ROW(ORVAUTH_STATUS_INVALID_PASSWORD, 86)                                  \
    ORVAUTH_PLUGIN_STATUS_ROW(ORVAUTH_STATUS_INVALID_PARAMETER, 87)                                 \
    ORVAUTH_PLUGIN_STATUS_ROW(ORVAUTH_STATUS_INVALID_COMPUTER_NAME, 1210)                           \
    ORVAUTH_PLUGIN_STATUS_ROW(ORVAUTH_STATUS_INVALID_DOMAIN_NAME, 1212)                             \
    ORVAUTH_PLUGIN_STATUS_ROW(ORVAUTH_STATUS_CONNECTION_REFUSED, 1225)                              \
    ORVAUTH_PLUGIN_STATUS_ROW(ORVAUTH_STATUS_CONNECTION_INVALID, 1229)                              \
    ORVAUTH_PLUGIN_STATUS_ROW(ORVAUTH_STATUS_NO_LOGON_SERVERS, 1311)                                \
    ORVAUTH_PLUGIN_STATUS_ROW(ORVAUTH_STATUS_INVALID_ACCOUNT_NAME, 1315)                            \
    ORVAUTH_PLUGIN_STATUS_ROW(ORVAUTH_STATUS_NO_SUCH_USER, 1317)                                    \
    ORVAUTH_PLUGIN_STATUS_ROW(ORVAUTH_STATUS_PASSWORD_RESTRICTION, 1325)                            \
    ORVAUTH_PLUGIN_STATUS_ROW(ORVAUTH_STATUS_LOGON_FAILURE, 1326)                                   \
    ORVAUTH_PLUGIN_STATUS_ROW(ORVAUTH_STATUS_PASSWORD_EXPIRED, 1330)                                \
    ORVAUTH_PLUGIN_STATUS_ROW(ORVAUTH_STATUS_ACCOUNT_DISABLED, 1331)                                \
    ORVAUTH_PLUGIN_STATUS_ROW(ORVAUTH_STATUS_NO_SUCH_DOMAIN, 1355)                                  \
    ORVAUTH_PLUGIN_STATUS_ROW(ORVAUTH_STATUS_INTERNAL_ERROR, 1359)                                  \
    ORVAUTH_PLUGIN_STATUS_ROW(ORVAUTH_STATUS_TIME_SKEW, 1398)                                       \
    ORVAUTH_PLUGIN_STATUS_ROW(ORVAUTH_STATUS_NO_TRUST_SECRET, 1786)                                 \
    ORVAUTH_PLUGIN_STATUS_ROW(ORVAUTH_STATUS_NO_TRUST_ACCOUNT, 1787)                                \
    ORVAUTH_PLUGIN_STATUS_ROW(ORVAUTH_STATUS_DOMAIN_TRUST_INCONSISTENT, 1810)                       \
    ORVAUTH_PLUGIN_STATUS_ROW(ORVAUTH_STATUS_ALREADY_JOINED, 2691)                                  \
    ORVAUTH_PLUGIN_STATUS_ROW(ORVAUTH_STATUS_TIMED_OUT, 10060)

#define ORVAUTH_PLUGIN_STATUS_ENUMERATOR(name, code) name = code,
enum OrvauthPluginStatus { ORVAUTH_STATUS_SUCCESS = 0, ORVAUTH_PLUGIN_STATUS_TABLE(ORVAUTH_PLUGIN_STATUS_ENUMERATOR) };
#undef ORVAUTH_PLUGIN_STATUS_ENUMERATOR

/* Optional in either kind of plug-in: an exported function answering the
 * reason of the calling thread's last failed operation, one line in the
 * operator's words (what failed and what to do; never a secret), or null
 * when it has none. The library calls it on the thread that received the
 * non-zero status, right after that call, copies the text and shows it in
 * the exception's message in place of the status's generic text. */
#define ORVAUTH_PLUGIN_FAILURE_REASON_SYMBOL "OrvauthPluginFailureReason"
typedef const char* (*OrvauthPluginFailureReasonFunction)(void);

/* Optional in a directory client plug-in: an exported function answering,
 * from the directory, the attributes of the host's machine account an
 * operator wants to see ("operatingSystem", "operatingSystemVersion",
 * "description"): a NULL-terminated array of "name=value" texts, one for
 * each of them the account has, handed back with *release. Returns a
 * status as the operations do. */
#define ORVAUTH_PLUGIN_ACCOUNT_ATTRIBUTES_SYMBOL "OrvauthPluginMachineAccountAttributes"
typedef int (*OrvauthPluginAccountAttributesFunction)(char*** attributes, void (**release)(void* pointer));

/* Slot 7. The library itself answers 0 when the plug-in has no slot 7, 2
 * when the plug-in did not answer in time and 7 when its trusted domains
 * (slot 8) answered ORVAUTH_STATUS_FILE_NOT_FOUND; a plug-in answers the
 * others. */
enum OrvauthTrustState {
    ORVAUTH_TRUST_NOT_REPORTED = 0,
    ORVAUTH_TRUST_GOOD = 1,              /* the machine account logs in */
    ORVAUTH_TRUST_NO_ANSWER_IN_TIME = 2,
    ORVAUTH_TRUST_BROKEN = 3,            /* the directory refuses the machine account */
    ORVAUTH_TRUST_UNREACHABLE = 4,       /* no controller answered */
    ORVAUTH_TRUST_NOT_JOINED = 5,
    ORVAUTH_TRUST_OTHER_FAILURE = 6,     /* anything else; the plug-in logs the reason */
    ORVAUTH_TRUST_NO_DOMAIN = 7
};

/* Slot 14. */
enum OrvauthTrustRelation {
    ORVAUTH_RELATION_NONE = 0,
    ORVAUTH_RELATION_JOINED_DOMAIN = 1,
    ORVAUTH_RELATION_TRUSTED_DOMAIN = 2
};

#endif /* ORVANE_AUTHENTICATION_PLUGINSTATUS_H */
