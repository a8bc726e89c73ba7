#include "adclient/Membership.h"

#include "adclient/AdClientState.h"
#include "adclient/ClientSettings.h"
#include "adclient/ControllerChoice.h"
#include "adclient/HostIdentity.h"
#include "adclient/HostKeytab.h"
#include "adclient/IntentJournal.h"
#include "common/Names.h"
#include "common/StatusError.h"

#include <cerrno>
#include <cstring>
#include <syslog.h>
#include <unistd.h>

using namespace orvauth_plugin;

namespace adclient {
namespace {

using std::chrono::seconds;

// How long the plug-in waits for one adcli run. A join or leave takes a
// second or two against a healthy controller; adcli itself waits minutes on
// one that drops packets, and a command must end within 15 s all told.
constexpr seconds MEMBERSHIP_BOUND{12};
constexpr seconds QUERY_BOUND{10};

const char* const MEMBERSHIP_KEYS[] = {keys::DOMAIN,     keys::NETBIOS,       keys::REALM,    keys::DOMAIN_SID,
                                       keys::CONTROLLER, keys::COMPUTER_NAME, keys::HOST_FQDN};

// The controller to talk to, and how: with use_ldaps over LDAPS only.
void AddController(std::vector<std::string>& arguments, const std::string& controller)
{
    if (!controller.empty()) {
        arguments.push_back("--domain-controller=" + controller);
    }
    if (CurrentClientSettings().useLdaps) {
        arguments.push_back("--use-ldaps");
    }
}

// What adcli's --show-details answer says of a join, under the state file's keys.
StateFile JoinDetails(const AdcliOutcome& outcome, const std::string& hostFqdn)
{
    StateFile details;
    details.Set(keys::DOMAIN, DetailValue(outcome.output, "domain-name"));
    details.Set(keys::NETBIOS, DetailValue(outcome.output, "domain-short"));
    details.Set(keys::REALM, DetailValue(outcome.output, "domain-realm"));
    details.Set(keys::DOMAIN_SID, DetailValue(outcome.output, "domain-SID"));
    details.Set(keys::CONTROLLER, DetailValue(outcome.output, "domain-controller"));
    details.Set(keys::COMPUTER_NAME, DetailValue(outcome.output, "computer-name"));
    details.Set(keys::HOST_FQDN, hostFqdn);
    for (const char* key : MEMBERSHIP_KEYS) {
        if (!IsStorable(details.Value(key))) {
            Fail(ORVAUTH_STATUS_INTERNAL_ERROR);
        }
    }
    return details;
}

// Records a successful join from its details.
void RecordJoin(const StateFile& details)
{
    StateFile state = LoadState();
    for (const char* key : MEMBERSHIP_KEYS) {
        state.Set(key, details.Value(key));
    }
    if (!IsJoined(state)) {
        Fail(ORVAUTH_STATUS_INTERNAL_ERROR);
    }
    SaveState(state);
}

// The keytab entries of the membership the state records.
HostPrincipals HostOf(const StateFile& state)
{
    return {state.Value(keys::REALM), state.Value(keys::COMPUTER_NAME), state.Value(keys::HOST_FQDN)};
}

void RecordJoinIntent(const std::string& domain, const std::string& hostFqdn)
{
    StateFile journal;
    journal.Set(intent::OPERATION, intent::JOIN);
    journal.Set(intent::PHASE, intent::STARTED);
    journal.Set(keys::DOMAIN, domain);
    journal.Set(keys::HOST_FQDN, hostFqdn);
    RecordIntent(journal);
}

}  // namespace

Membership::Membership(AdcliRunner& adcli, SssdSettings identityService, std::string kerberosConfig)
    : adcli(adcli), identityService(std::move(identityService)), kerberos(std::move(kerberosConfig))
{
}

// The caller holds the state lock. What an interrupted operation left is
// settled first; a joined host is refused.
// Whether the host is joined to domain, with nothing left half done, and
// the directory refuses its keytab (a controller answered and said no).
bool Membership::KeytabRefusedBy(const StateFile& state, const std::string& domain)
{
    if (!LoadIntent().Keys().empty() ||
        !(EqualsIgnoringCase(domain, state.Value(keys::DOMAIN)) || EqualsIgnoringCase(domain, state.Value(keys::NETBIOS)))) {
        return false;
    }
    const std::vector<std::string> preferred = state.Values(keys::PREFERRED_CONTROLLER);
    return CheckKeytab(state.Value(keys::DOMAIN), preferred.empty() ? state.Value(keys::CONTROLLER) : preferred.front(),
                       KeytabPath()) == Keytab::Refused;
}

std::vector<std::string> Membership::JoinArguments(const std::string& domain, const std::string& hostFqdn,
                                                   bool repairable)
{
    SettleInterrupted(true);
    const StateFile state = LoadState();
    if (IsJoined(state)) {
        if (!repairable || !KeytabRefusedBy(state, domain)) {
            Fail(ORVAUTH_STATUS_ALREADY_JOINED);
        }
        syslog(LOG_NOTICE, "adclient: the directory refuses this host's keytab for %s (the host was restored from an "
               "older backup, or its account's password was reset): joining again resets the account's password and "
               "rewrites the keytab", state.Value(keys::DOMAIN).c_str());
    }
    PrepareDirectories();
    std::vector<std::string> arguments{"join", "--domain=" + domain, "--host-fqdn=" + hostFqdn,
                                       "--host-keytab=" + StagedKeytabPath(KeytabPath()), "--stdin-password", "--show-details", "--verbose"};
    const std::vector<std::string> preferred = state.Values(keys::PREFERRED_CONTROLLER);
    // What the directory shows of the host, as its distribution names itself.
    const OperatingSystem system = ReadOsRelease("/etc/os-release");
    if (!system.name.empty()) {
        arguments.push_back("--os-name=" + system.name);
    }
    if (!system.version.empty()) {
        arguments.push_back("--os-version=" + system.version);
    }
    const std::string description = CurrentClientSettings().description;
    if (!description.empty()) {
        arguments.push_back("--description=" + description);
    }
    AddController(arguments, ControllerToUse(domain, preferred).answering);
    StageKeytab(KeytabPath());
    return arguments;
}

// What an interrupted operation left is settled before the membership is read.
JoinedDomain Membership::SettledMembership()
{
    {
        std::lock_guard<std::mutex> guard(StateLock());
        SettleInterrupted(true);
    }
    return RequireJoined();
}

void Membership::Join(const std::string& domain, const std::string& organizationalUnit, const std::string& hostFqdn,
                      const std::string& login, const char* password)
{
    JoinAs(AdcliCommand::Join, "--login-user=" + login, domain, organizationalUnit, hostFqdn, password);
}

// adcli logs in as the computer account itself, sets a password of its own
// and keeps the object where the administrator made it.
void Membership::JoinPreset(const std::string& domain, const std::string& organizationalUnit,
                            const std::string& hostFqdn, const char* oneTimePassword)
{
    JoinAs(AdcliCommand::PresetJoin, "--login-type=computer", domain, organizationalUnit, hostFqdn, oneTimePassword);
}

void Membership::JoinAs(AdcliCommand command, const std::string& login, const std::string& domain,
                        const std::string& organizationalUnit, const std::string& hostFqdn, const char* secret)
{
    std::lock_guard<std::mutex> guard(StateLock());
    std::vector<std::string> arguments = JoinArguments(domain, hostFqdn, true);
    arguments.push_back(login);
    if (!organizationalUnit.empty()) {
        arguments.push_back("--domain-ou=" + ContainerDN(organizationalUnit, domain));
    }
    RecordJoinIntent(domain, hostFqdn);
    const AdcliOutcome outcome = JournaledAdcli(command, arguments, secret);
    PromoteStagedKeytab(KeytabPath());
    FinishJoin(JoinDetails(outcome, hostFqdn));
}

void Membership::JoinWithAccount(const std::string& domain, const std::string& hostFqdn, const char* oneTimePassword,
                                 const std::string& expectedSid)
{
    std::lock_guard<std::mutex> guard(StateLock());
    std::vector<std::string> arguments = JoinArguments(domain, hostFqdn);
    arguments.push_back("--login-type=computer");
    RecordJoinIntent(domain, hostFqdn);
    const AdcliOutcome outcome = JournaledAdcli(AdcliCommand::MachineJoin, arguments, oneTimePassword);
    if (!expectedSid.empty() && !EqualsIgnoringCase(DetailValue(outcome.output, "domain-SID"), expectedSid)) {
        // Joined a domain other than the one the proxy reported: take the
        // keytab back rather than keep a membership nobody asked for.
        DiscardStagedKeytab(KeytabPath());
        ClearIntent();
        Fail(ORVAUTH_STATUS_DOMAIN_TRUST_INCONSISTENT);
    }
    PromoteStagedKeytab(KeytabPath());
    FinishJoin(JoinDetails(outcome, hostFqdn));
}

void Membership::Leave(const char* userName, const char* password)
{
    const JoinedDomain joined = SettledMembership();
    std::lock_guard<std::mutex> guard(StateLock());
    StateFile journal;
    journal.Set(intent::OPERATION, intent::LEAVE);
    journal.Set(intent::PHASE, intent::STARTED);
    journal.Set(intent::WITH_CREDENTIALS, userName != nullptr ? "yes" : "no");
    if (userName != nullptr) {
        password = password == nullptr ? "" : password;
        if (std::strpbrk(password, "\r\n") != nullptr) {
            Fail(ORVAUTH_STATUS_INVALID_PARAMETER);
        }
        std::vector<std::string> arguments{"delete-computer", "--domain=" + joined.domain,
                                           "--login-user=" + LoginName(userName), "--stdin-password"};
        AddController(arguments, ControllerToUse(joined.domain, joined.preferred, joined.controller).answering);
        arguments.push_back(joined.computerName);
        RecordIntent(journal);
        JournaledAdcli(AdcliCommand::Delete, arguments, password);
        journal.Set(intent::PHASE, intent::DIRECTORY_DONE);
    }
    RecordIntent(journal);
    LeaveLocally(joined.domain);
    ClearIntent();
}

void Membership::CheckTrust()
{
    const JoinedDomain joined = SettledMembership();
    std::vector<std::string> arguments{"testjoin", "--domain=" + joined.domain, "--host-keytab=" + KeytabPath()};
    AddController(arguments, joined.Controller());
    adcli.Succeed(AdcliCommand::TestJoin, arguments, nullptr, QUERY_BOUND);
}

// adcli update generates a new password, sets it in the directory as the
// machine account (the host keytab's key) and adds the new keys to the
// keytab, keeping the previous ones for controllers that have not replicated
// the change yet. adcli writes the keytab only after the directory took the
// password, so a failure leaves the old keys working. Its failures are those
// of a keytab login, as for testjoin. adcli works on the staged keytab,
// which replaces the keytab once it succeeded; one it left when it was
// stopped is settled by the next call (SettleStagedKeytab).
void Membership::RenewPassword()
{
    const JoinedDomain joined = RequireJoined();
    std::lock_guard<std::mutex> guard(StateLock());
    StageKeytab(KeytabPath());
    std::vector<std::string> arguments{"update", "--domain=" + joined.domain,
                                       "--host-keytab=" + StagedKeytabPath(KeytabPath()),
                                       "--computer-password-lifetime=0"};
    if (!joined.computerName.empty()) {
        arguments.push_back("--computer-name=" + joined.computerName);
    }
    if (!joined.hostFqdn.empty()) {
        arguments.push_back("--host-fqdn=" + joined.hostFqdn);
    }
    AddController(arguments, ControllerToUse(joined.domain, joined.preferred, joined.controller).answering);
    try {
        adcli.Succeed(AdcliCommand::TestJoin, arguments, nullptr, MEMBERSHIP_BOUND);
    } catch (const StatusError& error) {
        if (error.status != ORVAUTH_STATUS_TIMED_OUT) {
            DiscardStagedKeytab(KeytabPath());
        }
        throw;
    }
    PromoteStagedKeytab(KeytabPath());
    syslog(LOG_NOTICE, "adclient: the machine account password of %s in %s was renewed", joined.computerName.c_str(),
           joined.domain.c_str());
}

void Membership::SettleWithoutDirectory()
{
    std::lock_guard<std::mutex> guard(StateLock());
    SettleInterrupted(false);
}

// --- the intent journal ----------------------------------------------------------

// Runs an adcli command that changes the directory. When it fails, the
// directory is as it was and the journal goes; when it was stopped at its
// bound nobody knows, and the journal stays for the next call to settle.
AdcliOutcome Membership::JournaledAdcli(AdcliCommand command, const std::vector<std::string>& arguments,
                                        const char* secret)
{
    try {
        return adcli.Succeed(command, arguments, secret, MEMBERSHIP_BOUND);
    } catch (const StatusError& error) {
        if (error.status != ORVAUTH_STATUS_TIMED_OUT) {
            DiscardStagedKeytab(KeytabPath());
            ClearIntent();
        }
        throw;
    }
}

// The directory has the account: the journal takes what adcli reported, so
// that the host's files can be completed from it whenever this is cut
// short; then the files follow and the journal goes.
void Membership::FinishJoin(const StateFile& details)
{
    StateFile journal = details;
    journal.Set(intent::OPERATION, intent::JOIN);
    journal.Set(intent::PHASE, intent::DIRECTORY_DONE);
    RecordIntent(journal);
    RecordJoin(details);
    ConfigureIdentityService();
    ClearIntent();
}

// Kerberos and the identity service follow the membership just recorded.
// When they cannot be configured the join is taken back here (keytab,
// krb5.conf and state), so that a failed join leaves nothing behind on the
// host.
void Membership::ConfigureIdentityService()
{
    StateFile state = LoadState();
    const std::string realm = state.Value(keys::REALM);
    const ClientSettings settings = CurrentClientSettings();
    const SssdDomain domain{state.Value(keys::DOMAIN), realm, KeytabPath(),
                            state.Value(keys::COMPUTER_NAME) + "$@" + realm, state.Value(keys::HOST_FQDN),
                            state.Values(keys::PREFERRED_CONTROLLER),
                            settings.defaultShell.empty() ? DefaultUserShell("/etc/default/useradd") : settings.defaultShell,
                            settings.useLdaps, settings.homeDirectory};
    try {
        kerberos.Configure({realm, domain.dnsName, KeytabPath(), ::access(SSSD_KRB5_INCLUDES, F_OK) == 0});
        identityService.Configure(domain);
    } catch (const std::runtime_error& e) {
        syslog(LOG_ERR, "adclient: %s; the join is taken back", e.what());
        RemoveKerberosSettings();
        RemoveHostKeys(KeytabPath(), HostOf(state));
        ForgetMembership(state);
        SaveState(state);
        ClearIntent();
        Fail(ORVAUTH_STATUS_ACCESS_DENIED);
    }
}

// The host's side of a leave: keytab, Kerberos settings, membership,
// identity service.
void Membership::LeaveLocally(const std::string& domain)
{
    StateFile state = LoadState();
    RemoveHostKeys(KeytabPath(), HostOf(state));
    RemoveKerberosSettings();
    ForgetMembership(state);
    SaveState(state);
    try {
        identityService.Remove(domain);
    } catch (const SssdConfigError& e) {
        // The host has left; a stale section only names a domain it is no
        // longer in.
        syslog(LOG_ERR, "adclient: %s", e.what());
    }
}

// A krb5.conf the block cannot be taken out of only names a realm the host
// is no longer in; the leave goes on.
void Membership::RemoveKerberosSettings()
{
    try {
        kerberos.Remove();
    } catch (const KerberosConfigError& e) {
        syslog(LOG_ERR, "adclient: %s; remove the lines orvauthctl join added by hand", e.what());
    }
}

// Whether the directory accepts the host keytab for domain: Unknown when no
// controller answered. A keytab without a machine account's keys is refused.
Membership::Keytab Membership::CheckKeytab(const std::string& domain, const std::string& controller,
                                           const std::string& keytab)
{
    if (KeytabComputerName(keytab).empty()) {
        return Keytab::Refused;
    }
    std::vector<std::string> arguments{"testjoin", "--domain=" + domain, "--host-keytab=" + keytab};
    AddController(arguments, controller);
    const AdcliOutcome outcome = adcli.Run(arguments, nullptr, QUERY_BOUND);
    switch (ClassifyAdcliResult(AdcliCommand::TestJoin, outcome.status, outcome.timedOut, outcome.errors)) {
    case ORVAUTH_STATUS_SUCCESS:
        return Keytab::Accepted;
    case ORVAUTH_STATUS_NO_SUCH_DOMAIN:
    case ORVAUTH_STATUS_NO_LOGON_SERVERS:
    case ORVAUTH_STATUS_TIMED_OUT:
        return Keytab::Unknown;
    default:
        return Keytab::Refused;
    }
}

// adcli was stopped during a join: if the directory accepts the keytab it
// wrote (the staged one, or the keytab when the rename was done), the join
// is completed with what the directory says of itself; otherwise the keytab
// is taken back.
void Membership::SettleStartedJoin(const StateFile& journal)
{
    const std::string domain = journal.Value(keys::DOMAIN);
    const std::string staged = StagedKeytabPath(KeytabPath());
    const bool wasStaged = ::access(staged.c_str(), F_OK) == 0;
    const Keytab keytab = CheckKeytab(domain, "", wasStaged ? staged : KeytabPath());
    if (keytab == Keytab::Unknown) {
        syslog(LOG_WARNING, "adclient: a join of %s was interrupted and no controller answered; it is settled by "
               "the next join, leave or status", domain.c_str());
        return;
    }
    if (keytab == Keytab::Refused) {
        DiscardStagedKeytab(KeytabPath());
        if (!wasStaged) {
            RemoveHostKeys(KeytabPath(), {ToUpper(domain), KeytabComputerName(KeytabPath()),
                                          journal.Value(keys::HOST_FQDN)});
        }
        ClearIntent();
        syslog(LOG_NOTICE, "adclient: a join of %s was interrupted before the directory accepted this host; "
               "taken back (join again to retry)", domain.c_str());
        return;
    }
    if (wasStaged) {
        PromoteStagedKeytab(KeytabPath());
    }
    const AdcliOutcome info = adcli.Succeed(AdcliCommand::Info, {"info", domain}, nullptr, QUERY_BOUND);
    StateFile details;
    details.Set(keys::DOMAIN, DetailValue(info.output, "domain-name"));
    details.Set(keys::NETBIOS, DetailValue(info.output, "domain-short"));
    details.Set(keys::REALM, ToUpper(DetailValue(info.output, "domain-name")));
    details.Set(keys::CONTROLLER, DetailValue(info.output, "domain-controller"));
    details.Set(keys::COMPUTER_NAME, KeytabComputerName(KeytabPath()));
    details.Set(keys::HOST_FQDN, journal.Value(keys::HOST_FQDN));
    FinishJoin(details);
    syslog(LOG_NOTICE, "adclient: completed the interrupted join of %s", domain.c_str());
}

// A credentialed leave stopped during adcli: if the directory still accepts
// the keytab the account was not deleted and the host stays joined;
// otherwise the host's side of the leave is completed.
void Membership::SettleLeave(const StateFile& journal, bool mayAskDirectory)
{
    const StateFile state = LoadState();
    const std::string domain = state.Value(keys::DOMAIN);
    if (!IsJoined(state)) {
        ClearIntent();
        return;
    }
    if (journal.Value(intent::WITH_CREDENTIALS) == "yes" && journal.Value(intent::PHASE) == intent::STARTED) {
        if (!mayAskDirectory) {
            return;
        }
        const Keytab keytab = CheckKeytab(domain, state.Value(keys::CONTROLLER), KeytabPath());
        if (keytab == Keytab::Unknown) {
            syslog(LOG_WARNING, "adclient: a leave of %s was interrupted and no controller answered; it is "
                   "settled by the next join, leave or status", domain.c_str());
            return;
        }
        if (keytab == Keytab::Accepted) {
            ClearIntent();
            syslog(LOG_NOTICE, "adclient: a leave of %s was interrupted before the directory deleted this "
                   "host's account; the host stays joined (leave again to retry)", domain.c_str());
            return;
        }
    }
    LeaveLocally(domain);
    ClearIntent();
    syslog(LOG_NOTICE, "adclient: completed the interrupted leave of %s", domain.c_str());
}

// Settles what a killed join or leave left in the journal. Without
// mayAskDirectory only what the journal alone decides. The caller holds the
// state lock.
void Membership::SettleInterrupted(bool mayAskDirectory)
{
    const StateFile journal = LoadIntent();
    const std::string operation = journal.Value(intent::OPERATION);
    if (operation == intent::LEAVE) {
        SettleLeave(journal, mayAskDirectory);
    } else if (operation == intent::JOIN && journal.Value(intent::PHASE) == intent::DIRECTORY_DONE) {
        FinishJoin(journal);
        syslog(LOG_NOTICE, "adclient: completed the interrupted join of %s", journal.Value(keys::DOMAIN).c_str());
    } else if (operation == intent::JOIN && mayAskDirectory) {
        SettleStartedJoin(journal);
    } else if (operation.empty() && mayAskDirectory) {
        SettleStagedKeytab();
    }
}

// A renewal stopped during adcli left the staged keytab: when the directory
// accepts it (the new password, or the old one when adcli had not yet set
// it), it replaces the keytab; otherwise it goes.
void Membership::SettleStagedKeytab()
{
    const std::string staged = StagedKeytabPath(KeytabPath());
    if (::access(staged.c_str(), F_OK) != 0) {
        return;
    }
    const StateFile state = LoadState();
    if (!IsJoined(state)) {
        DiscardStagedKeytab(KeytabPath());
        return;
    }
    switch (CheckKeytab(state.Value(keys::DOMAIN), state.Value(keys::CONTROLLER), staged)) {
    case Keytab::Accepted:
        PromoteStagedKeytab(KeytabPath());
        syslog(LOG_NOTICE, "adclient: completed the interrupted renewal of the machine account password");
        break;
    case Keytab::Refused:
        DiscardStagedKeytab(KeytabPath());
        syslog(LOG_NOTICE, "adclient: an interrupted renewal of the machine account password left a keytab the "
               "directory refuses; it was removed and the keytab kept");
        break;
    case Keytab::Unknown:
        break;
    }
}

}  // namespace adclient
