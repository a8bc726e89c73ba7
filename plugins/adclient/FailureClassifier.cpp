#include "adclient/FailureClassifier.h"

#include "common/PluginStatus.h"

#include <algorithm>
#include <cctype>

namespace adclient {

namespace {

constexpr std::uint32_t INVALID_PASSWORD = 86;
constexpr std::uint32_t PASSWORD_EXPIRED = 1330;
constexpr std::uint32_t ACCOUNT_DISABLED = 1331;
constexpr std::uint32_t TIME_SKEW = 1398;
constexpr std::uint32_t TIMED_OUT = 10060;
constexpr std::uint32_t RETRY_LATER = orvauth_plugin::STATUS_LOGON_FAILURE;

struct Rule {
    const char* text;  // lower case; found anywhere in the diagnostics
    std::uint32_t status;
};

// First match wins: the time-out text comes before the generic connection
// failures it is part of.
const Rule RULES[] = {
    {"clock skew too great", TIME_SKEW},
    {"preauthentication failed", INVALID_PASSWORD},
    {"password incorrect", INVALID_PASSWORD},
    {"decrypt integrity check failed", INVALID_PASSWORD},
    {"not found in kerberos database", orvauth_plugin::STATUS_NO_SUCH_USER},
    {"credentials have been revoked", ACCOUNT_DISABLED},
    {"password has expired", PASSWORD_EXPIRED},
    // The directory demands a new password before first use; adcli then asks
    // for one on standard input and finds none.
    {"new password cannot be zero length", PASSWORD_EXPIRED},
    // Another account of the same name exists elsewhere in the directory.
    {"already exists, but is not in the desired organizational unit", orvauth_plugin::STATUS_ALREADY_JOINED},
    {"insufficient permissions", orvauth_plugin::STATUS_ACCESS_DENIED},
    {"insufficient access", orvauth_plugin::STATUS_ACCESS_DENIED},
    {"the organizational unit does not exist", orvauth_plugin::STATUS_INVALID_PARAMETER},
    {"connection timed out", TIMED_OUT},
    {"timed out", TIMED_OUT},
    {"couldn't find usable domain controller", orvauth_plugin::STATUS_NO_SUCH_DOMAIN},
    {"couldn't discover domain", orvauth_plugin::STATUS_NO_SUCH_DOMAIN},
    {"couldn't connect to host", orvauth_plugin::STATUS_NO_SUCH_DOMAIN},
    {"can't contact ldap server", orvauth_plugin::STATUS_NO_SUCH_DOMAIN},
    {"cannot find kdc", orvauth_plugin::STATUS_NO_SUCH_DOMAIN},
    {"cannot contact any kdc", orvauth_plugin::STATUS_NO_SUCH_DOMAIN},
    {"cannot resolve network address", orvauth_plugin::STATUS_NO_SUCH_DOMAIN},
};

}  // namespace

std::uint32_t ClassifyAdcliResult(AdcliCommand command, int exitStatus, bool timedOut,
                                  const std::string& diagnostics)
{
    if (timedOut) {
        return TIMED_OUT;
    }
    if (exitStatus == 0) {
        return orvauth_plugin::STATUS_SUCCESS;
    }
    std::string text = diagnostics;
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    // An account already gone from the directory is what a delete wants.
    if (command == AdcliCommand::Delete && text.find("no computer account for") != std::string::npos) {
        return orvauth_plugin::STATUS_SUCCESS;
    }
    for (const Rule& rule : RULES) {
        if (text.find(rule.text) == std::string::npos) {
            continue;
        }
        const bool loginRefused = rule.status == INVALID_PASSWORD || rule.status == orvauth_plugin::STATUS_NO_SUCH_USER;
        if (command == AdcliCommand::MachineJoin && loginRefused) {
            return RETRY_LATER;
        }
        return rule.status;
    }
    return orvauth_plugin::STATUS_INTERNAL_ERROR;
}

}  // namespace adclient
