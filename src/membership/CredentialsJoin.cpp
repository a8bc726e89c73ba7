// Joining and leaving a domain with an administrator's credentials or a
// preset account's one-time password, and keeping the domain record in the
// host configuration store in step.
#include "membership/DomainRecord.h"
#include "membership/HostFilesRollback.h"
#include "errors/LogText.h"

#include <orvane/authentication/ActiveDirectoryConfigStore.h>
#include <orvane/authentication/ActiveDirectoryProvider.h>
#include <orvane/authentication/ActiveDirectoryStore.h>
#include <orvane/authentication/Exceptions.h>

#include <platform/QelConfigStore.h>

#include <string>
#include <syslog.h>

namespace orvane {
namespace authentication {

namespace {

void CheckCredentials(const Credentials& credentials)
{
    // An empty user name is left to the directory to judge; a missing or
    // empty password can never create a machine account.
    if (credentials.userName == nullptr) {
        throw InvalidCredentialsException("no username was specified");
    }
    if (credentials.password == nullptr || credentials.password[0] == '\0') {
        throw InvalidCredentialsException(
            "empty or no password was specified; the account must have a non-empty password to join the host to "
            "domain");
    }
}

// The join both entries share: with credentials, or a null user name and a
// one-time password.
void JoinAs(ActiveDirectoryStore& store, const std::string& domainArgument, const Credentials& credentials,
            bool skipHostNameCheck)
{
    // Only the first '/' separates: organizational units contain slashes.
    const std::string::size_type slash = domainArgument.find('/');
    const std::string domainName = domainArgument.substr(0, slash);
    const std::string organizationalUnit =
        slash == std::string::npos ? std::string() : domainArgument.substr(slash + 1);
    // The plug-in reads the unit the same way; one it cannot read is
    // refused before anything changes.
    CheckedOrganizationalUnitDN(organizationalUnit, domainName);

    // A failed join leaves the host's name resolution as it found it.
    HostFilesRollback rollback(!skipHostNameCheck);
    try {
        if (!skipHostNameCheck) {
            rollback.RunCheck([&] { store.SanitiseHostnameForDomain(domainName); });
        }
        try {
            store.Provider()->JoinDomain(domainName, organizationalUnit, credentials);
        } catch (const SetupAlreadyJoinedException&) {
            if (!CompleteInterruptedJoin(*store.Provider(), domainName, organizationalUnit, std::string())) {
                throw;
            }
            return;
        }
        RecordMembershipOrLeave(*store.Provider(), domainName, organizationalUnit, std::string());
    } catch (...) {
        rollback.Restore();
        throw;
    }
}

}  // namespace

void ActiveDirectoryStore::JoinDomain(const std::string& domainArgument, const Credentials& credentials,
                                      bool skipHostNameCheck)
{
    CheckCredentials(credentials);
    JoinAs(*this, domainArgument, credentials, skipHostNameCheck);
}

// The plug-in takes a password without a user name as the one-time password
// of the computer account an administrator preset for this host. The
// administrator's join above keeps refusing a missing user name, so neither
// path can be taken for the other by mistake.
void ActiveDirectoryStore::JoinDomainWithOneTimePassword(const std::string& domainArgument,
                                                         const char* oneTimePassword, bool skipHostNameCheck)
{
    if (oneTimePassword == nullptr || oneTimePassword[0] == '\0') {
        throw InvalidCredentialsException(
            "empty or no one-time password was specified; give the one the administrator set when presetting the "
            "host's computer account");
    }
    Credentials credentials{};
    credentials.password = oneTimePassword;
    JoinAs(*this, domainArgument, credentials, skipHostNameCheck);
}

void ActiveDirectoryStore::PartDomain()
{
    try {
        provider->PartDomain();
    } catch (const FileNotFoundException&) {
        // Not joined: what may remain is the record of an interrupted leave.
        if (CompleteInterruptedLeave()) {
            return;
        }
        throw;
    }

    if (!ActiveDirectoryConfigStore::IsConfigStoreEnabled()) {
        return;
    }
    try {
        ActiveDirectoryConfigStore configStore;
        configStore.RemoveDomainInfo();
    } catch (const QelConfigStore::ConfigStoreException& error) {
        syslog(LOG_ERR, "Failed to remove domain details from Config Store: %s", LogText(error.what()).c_str());
        throw;
    }
}

void ActiveDirectoryStore::PartDomain(const Credentials& credentials) { provider->PartDomain(credentials); }

}  // namespace authentication
}  // namespace orvane
