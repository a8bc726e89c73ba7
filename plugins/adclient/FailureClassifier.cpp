#include "adclient/FailureClassifier.h"

#include "base/AsciiText.h"
#include "common/StatusError.h"

#include <algorithm>

namespace adclient {

namespace {

constexpr std::uint32_t RETRY_LATER = ORVAUTH_STATUS_LOGON_FAILURE;

struct Rule {
    const char* text;  // lower case; found anywhere in the diagnostics
    std::uint32_t status;
};

// First match wins: the time-out text comes before the generic connection
// failures it is part of.
const Rule RULES[] = {
    {"clock skew too great", ORVAUTH_STATUS_TIME_SKEW},
    {"preauthentication failed", ORVAUTH_STATUS_INVALID_PASSWORD},
    {"password incorrect", ORVAUTH_STATUS_INVALID_PASSWORD},
    {"decrypt integrity check failed", ORVAUTH_STATUS_INVALID_PASSWORD},
    {"not found in kerberos database", ORVAUTH_STATUS_NO_SUCH_USER},
    {"credentials have been revoked", ORVAUTH_STATUS_ACCOUNT_DISABLED},
    {"password has expired", ORVAUTH_STATUS_PASSWORD_EXPIRED},
    // The directory demands a new password before first use; adcli then asks
    // for one on standard input and finds none.
    {"new password cannot be zero length", ORVAUTH_STATUS_PASSWORD_EXPIRED},
    // Another account of the same name exists elsewhere in the directory.
    {"already exists, but is not in the desired organizational unit", ORVAUTH_STATUS_ALREADY_JOINED},
    {"insufficient permissions", ORVAUTH_STATUS_ACCESS_DENIED},
    {"insufficient access", ORVAUTH_STATUS_ACCESS_DENIED},
    {"the organizational unit does not exist", ORVAUTH_STATUS_INVALID_PARAMETER},
    {"connection timed out", ORVAUTH_STATUS_TIMED_OUT},
    {"timed out", ORVAUTH_STATUS_TIMED_OUT},
    {"couldn't find usable domain controller", ORVAUTH_STATUS_NO_SUCH_DOMAIN},
    {"couldn't discover domain", ORVAUTH_STATUS_NO_SUCH_DOMAIN},
    {"couldn't connect to host", ORVAUTH_STATUS_NO_SUCH_DOMAIN},
    {"can't contact ldap server", ORVAUTH_STATUS_NO_SUCH_DOMAIN},
    {"cannot find kdc", ORVAUTH_STATUS_NO_SUCH_DOMAIN},
    {"cannot contact any kdc", ORVAUTH_STATUS_NO_SUCH_DOMAIN},
    {"cannot resolve network address", ORVAUTH_STATUS_NO_SUCH_DOMAIN},
};

}  // namespace

std::uint32_t ClassifyAdcliResult(AdcliCommand command, int exitStatus, bool timedOut,
                                  const std::string& diagnostics)
{
    if (timedOut) {
        return ORVAUTH_STATUS_TIMED_OUT;
    }
    if (exitStatus == 0) {
        return ORVAUTH_STATUS_SUCCESS;
    }
    const std::string text = orvauth_base::ToLower(diagnostics);
    // An account already gone from the directory is what a delete wants.
    if (command == AdcliCommand::Delete && text.find("no computer account for") != std::string::npos) {
        return ORVAUTH_STATUS_SUCCESS;
    }
    for (const Rule& rule : RULES) {
        if (text.find(rule.text) == std::string::npos) {
            continue;
        }
        const bool loginRefused = rule.status == ORVAUTH_STATUS_INVALID_PASSWORD || rule.status == ORVAUTH_STATUS_NO_SUCH_USER;
        if (command == AdcliCommand::MachineJoin && loginRefused) {
            return RETRY_LATER;
        }
        return rule.status;
    }
    return ORVAUTH_STATUS_INTERNAL_ERROR;
}

}  // namespace adclient
