#include "adclient/FailureClassifier.h"

#include "base/AsciiText.h"
#include "common/StatusError.h"

#include <algorithm>
#include <krb5.h>

namespace adclient {

namespace {

constexpr std::uint32_t RETRY_LATER = ORVAUTH_STATUS_LOGON_FAILURE;

// adcli's own sentence holding the match is the operator's reason.
constexpr bool QUOTED = true;

struct Rule {
    const char* text;  // lower case; found anywhere in the diagnostics
    std::uint32_t status;
    bool quoted = false;
    const char* fix = nullptr;  // said after the quoted sentence
};

const char ENCRYPTION_TYPES[] =
    "this host and the domain controller share no Kerberos encryption type. Allow AES "
    "(aes256-cts-hmac-sha1-96 aes128-cts-hmac-sha1-96) on both sides: in /etc/krb5.conf "
    "(permitted_enctypes, default_tkt_enctypes) and on the accounts in the directory "
    "(msDS-SupportedEncryptionTypes, or the domain's Kerberos policy)";

// The types this host's Kerberos permits (krb5.conf's permitted_enctypes,
// or the library's defaults): adcli names none, nor the controller's.
std::string HostEncryptionTypes()
{
    krb5_context context = nullptr;
    if (krb5_init_context(&context) != 0) {
        return "";
    }
    std::string names;
    krb5_enctype* types = nullptr;
    if (krb5_get_permitted_enctypes(context, &types) == 0) {
        for (const krb5_enctype* type = types; *type != 0; ++type) {
            char name[64];
            if (krb5_enctype_to_name(*type, false, name, sizeof name) == 0) {
                names += (names.empty() ? "" : " ") + std::string(name);
            }
        }
        krb5_free_enctypes(context, types);
    }
    krb5_free_context(context);
    return names.empty() ? "" : ". This host permits: " + names;
}

const char OTP_REFUSED[] =
    "The domain controller refused the one-time password the authentication proxy set for this host's machine "
    "account: join through the proxy again for a new one; if it is refused again, the proxy and this host reach "
    "different domain controllers that have not replicated yet";

const char PRESET_MISSING[] =
    "the domain has no computer account of this host's name to join with a one-time password. Ask the domain's "
    "administrator to preset it (adcli preset-computer --one-time-password), or join with --user";

const char PRESET_REFUSED[] =
    "the domain controller refused the one-time password of this host's preset computer account (mistyped, or used "
    "already: a join replaces it). Ask the domain's administrator for the right one, or to preset the account "
    "again (adcli delete-computer, then adcli preset-computer --one-time-password) and join with the new one";

// What a joining account needs on the computer objects of its container
// beyond creating them: adcli sets the password, the account flags, the
// DNS host name and the service principal names.
const char ACCOUNT_RIGHTS[] = "\"Reset password\", \"Read and write account restrictions\", \"Validated write to "
                              "DNS host name\" and \"Validated write to service principal name\"";

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
    {"already exists, but is not in the desired organizational unit", ORVAUTH_STATUS_ALREADY_JOINED, QUOTED},
    // A domain or host that allows only some encryption types (AES only, RC4 off).
    {"kdc has no support for encryption type", ORVAUTH_STATUS_INVALID_PARAMETER, QUOTED, ENCRYPTION_TYPES},
    {"no supported encryption types", ORVAUTH_STATUS_INVALID_PARAMETER, QUOTED, ENCRYPTION_TYPES},
    {"bad encryption type", ORVAUTH_STATUS_INVALID_PARAMETER, QUOTED, ENCRYPTION_TYPES},
    {"insufficient permissions", ORVAUTH_STATUS_ACCESS_DENIED},
    {"insufficient access", ORVAUTH_STATUS_ACCESS_DENIED},
    // An account found whose password the joining account may not reset.
    {"not permitted to change password", ORVAUTH_STATUS_ACCESS_DENIED},
    {"the organizational unit does not exist", ORVAUTH_STATUS_INVALID_PARAMETER, QUOTED},
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

// The sentence of diagnostics that holds position: from after the last
// ": " (adcli's "joining domain ... failed: ") up to the end of the line.
std::string SentenceAt(const std::string& diagnostics, std::string::size_type position)
{
    const std::string::size_type lineStart = diagnostics.rfind('\n', position);
    std::string::size_type start = diagnostics.rfind(": ", position);
    start = start == std::string::npos || (lineStart != std::string::npos && start < lineStart)
                ? (lineStart == std::string::npos ? 0 : lineStart + 1)
                : start + 2;
    const std::string::size_type end = diagnostics.find('\n', position);
    return orvauth_base::Trim(diagnostics.substr(start, end == std::string::npos ? std::string::npos : end - start));
}

// The DN of the account adcli found (--verbose: "Found computer account for
// NAME$ at: DN"), "" when it found none.
std::string FoundAccount(const std::string& diagnostics)
{
    const std::string::size_type line = diagnostics.find("Found computer account for ");
    const std::string::size_type at = line == std::string::npos ? line : diagnostics.find(" at: ", line);
    if (at == std::string::npos) {
        return "";
    }
    const std::string::size_type end = diagnostics.find('\n', at);
    return orvauth_base::Trim(diagnostics.substr(at + 5, end == std::string::npos ? end : end - at - 5));
}

// The right the joining (or leaving) account lacks, on which object, and
// the ways out. adcli says "Insufficient permissions to <action>: <DN>:
// <LDAP reason>", with "modify" also when it was creating the account (only
// an account it found was there), or, for an account it found but may not
// reset, "Cannot set computer password: Access denied: Not permitted to
// change password".
std::string MissingRight(AdcliCommand command, const std::string& diagnostics)
{
    const std::string lower = orvauth_base::ToLower(diagnostics);
    const std::string found = FoundAccount(diagnostics);
    const std::string ask = ". Ask a domain administrator to delegate it, or ";
    const std::string::size_type reset = lower.find("not permitted to change password");
    if (reset != std::string::npos) {
        return SentenceAt(diagnostics, reset) + ": the joining account lacks the right \"Reset password\" on " +
               (found.empty() ? std::string("the host's computer account") : found) + ask +
               "join with an account that has it";
    }
    const std::string marker = "insufficient permissions to ";
    const std::string::size_type start = lower.rfind(marker);
    const std::string::size_type actionEnd = start == std::string::npos ? start : lower.find(": ", start);
    const std::string::size_type dnEnd = actionEnd == std::string::npos ? actionEnd : lower.find(": ", actionEnd + 2);
    if (dnEnd == std::string::npos || lower.find('\n', start) < dnEnd) {
        return "";
    }
    const std::string action = lower.substr(start + marker.size(), actionEnd - start - marker.size());
    const std::string dn = diagnostics.substr(actionEnd + 2, dnEnd - actionEnd - 2);
    const std::string::size_type comma = dn.find(',');
    const std::string container = comma == std::string::npos ? dn : dn.substr(comma + 1);
    const std::string said = "Insufficient permissions to " + action + " " + dn + ": ";
    if (command == AdcliCommand::Delete) {
        return said + "the account lacks the right \"Delete computer objects\" on " + container + ask +
               "leave without --user (the computer account then stays in the directory)";
    }
    if (!found.empty()) {
        return said + "the joining account lacks one of the rights " + ACCOUNT_RIGHTS + " on " + dn + ask +
               "join with an account that has them";
    }
    return said + "the joining account lacks the right \"Create computer objects\" on " + container + ask +
           "join into an organizational unit where it has it (--ou); with it, it needs " + ACCOUNT_RIGHTS +
           " on the computer objects there";
}

// adcli's account that is not in the container asked for: where it is and
// the two ways out.
std::string AccountElsewhere(const std::string& diagnostics, const std::string& askedContainer)
{
    const std::string dn = FoundAccount(diagnostics);
    if (dn.empty()) {
        return "";
    }
    // Its container as --ou takes it: relative to the domain.
    const std::string::size_type comma = dn.find(',');
    std::string container = comma == std::string::npos ? "" : dn.substr(comma + 1);
    const std::string lower = orvauth_base::ToLower(container);
    container = lower.rfind("dc=", 0) == 0 ? "" : container.substr(0, lower.find(",dc="));
    return "The computer account " + dn + " already exists in another container than the one asked for (" +
           (askedContainer.empty() ? "the domain's default container for computers" : askedContainer) +
           "). Either move the account there in the directory and join again, or join into its own container: --ou \"" +
           container + "\"";
}

}  // namespace

AdcliFailure ClassifyAdcliFailure(AdcliCommand command, int exitStatus, bool timedOut,
                                  const std::string& diagnostics, const std::string& askedContainer)
{
    if (timedOut) {
        return {ORVAUTH_STATUS_TIMED_OUT, ""};
    }
    if (exitStatus == 0) {
        return {ORVAUTH_STATUS_SUCCESS, ""};
    }
    const std::string text = orvauth_base::ToLower(diagnostics);
    // An account already gone from the directory is what a delete wants.
    if (command == AdcliCommand::Delete && text.find("no computer account for") != std::string::npos) {
        return {ORVAUTH_STATUS_SUCCESS, ""};
    }
    for (const Rule& rule : RULES) {
        const std::string::size_type position = text.find(rule.text);
        if (position == std::string::npos) {
            continue;
        }
        if (command == AdcliCommand::MachineJoin && rule.status == ORVAUTH_STATUS_NO_SUCH_USER) {
            return {RETRY_LATER, ""};
        }
        if (command == AdcliCommand::MachineJoin && rule.status == ORVAUTH_STATUS_INVALID_PASSWORD) {
            return {ORVAUTH_STATUS_INVALID_PASSWORD, OTP_REFUSED};
        }
        // An administrator's preset account: nothing to wait for, the
        // administrator has to act.
        if (command == AdcliCommand::PresetJoin && rule.status == ORVAUTH_STATUS_NO_SUCH_USER) {
            return {ORVAUTH_STATUS_NO_TRUST_ACCOUNT, SentenceAt(diagnostics, position) + ": " + PRESET_MISSING};
        }
        if (command == AdcliCommand::PresetJoin && rule.status == ORVAUTH_STATUS_INVALID_PASSWORD) {
            return {ORVAUTH_STATUS_INVALID_PASSWORD, SentenceAt(diagnostics, position) + ": " + PRESET_REFUSED};
        }
        if (rule.status == ORVAUTH_STATUS_ACCESS_DENIED) {
            return {rule.status, MissingRight(command, diagnostics)};
        }
        if (rule.status == ORVAUTH_STATUS_ALREADY_JOINED) {
            const std::string elsewhere = AccountElsewhere(diagnostics, askedContainer);
            if (!elsewhere.empty()) {
                return {rule.status, elsewhere};
            }
        }
        std::string reason = rule.quoted ? SentenceAt(diagnostics, position) : "";
        if (rule.fix != nullptr) {
            reason += std::string(": ") + rule.fix;
        }
        if (rule.fix == ENCRYPTION_TYPES) {
            reason += HostEncryptionTypes();
        }
        return {rule.status, reason};
    }
    return {ORVAUTH_STATUS_INTERNAL_ERROR, ""};
}

std::uint32_t ClassifyAdcliResult(AdcliCommand command, int exitStatus, bool timedOut,
                                  const std::string& diagnostics, const std::string& askedContainer)
{
    const AdcliFailure failure = ClassifyAdcliFailure(command, exitStatus, timedOut, diagnostics, askedContainer);
    if (failure.status != ORVAUTH_STATUS_SUCCESS && !failure.reason.empty()) {
        orvauth_plugin::NoteFailureReason(failure.reason);
    }
    return failure.status;
}

}  // namespace adclient
