// adclient: the directory client for a real Active Directory domain. Joins,
// leaves and trust checks run the adcli tool; look-ups in the directory use
// LDAP bound as the machine account. What the plug-in needs on the host, its
// state and its statuses are described in docs/plugins.md.
#include "adclient/AdClientState.h"
#include "adclient/AdcliProcess.h"
#include "adclient/DirectorySession.h"
#include "adclient/FailureClassifier.h"
#include "adclient/HostIdentity.h"
#include "adclient/IntentJournal.h"
#include "adclient/SssdConfig.h"
#include "base/ControllerProbe.h"
#include "base/LdapText.h"
#include "base/LogText.h"
#include "common/Names.h"
#include "common/StatusError.h"
#include "common/Results.h"

#include <orvane/authentication/ActiveDirectoryClient.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <syslog.h>
#include <unistd.h>

using namespace orvauth_plugin;
using namespace adclient;
using std::chrono::seconds;

namespace {

// How long the plug-in waits for one adcli run. A join or leave takes a
// second or two against a healthy controller; adcli itself waits minutes on
// one that drops packets, and a command must end within 15 s all told.
constexpr seconds MEMBERSHIP_BOUND{12};
constexpr seconds QUERY_BOUND{10};
// libldap's bound for connecting and for each request.
constexpr seconds LDAP_BOUND{5};
// How long the controllers DNS names get to accept a connection before
// adcli is left to look for one itself.
constexpr std::chrono::milliseconds PROBE_BOUND{2000};


// Every read-modify-write of the state file, and every join and leave, holds
// this lock: operations arrive concurrently from the library's workers.
std::mutex stateLock;

struct Membership {
    std::string domain, netbios, realm, sid, controller, computerName, hostFqdn;
    std::vector<std::string> preferred;
};

Membership RequireMembership()
{
    std::lock_guard<std::mutex> guard(stateLock);
    const StateFile state = LoadState();
    if (!IsJoined(state)) {
        Fail(ORVAUTH_STATUS_FILE_NOT_FOUND);
    }
    return {state.Value(keys::DOMAIN),     state.Value(keys::NETBIOS),       state.Value(keys::REALM),
            state.Value(keys::DOMAIN_SID), state.Value(keys::CONTROLLER),    state.Value(keys::COMPUTER_NAME),
            state.Value(keys::HOST_FQDN),  state.Values(keys::PREFERRED_CONTROLLER)};
}

// The controller every call should talk to: the first preferred one, else
// the one the join used.
std::string Controller(const Membership& membership)
{
    return membership.preferred.empty() ? membership.controller : membership.preferred.front();
}

bool NamesDomain(const Membership& membership, const std::string& name)
{
    return EqualsIgnoringCase(name, membership.domain) || EqualsIgnoringCase(name, membership.netbios);
}

// Runs adcli and turns a failure into its status, logging adcli's own words
// (which never contain the password: it only ever arrives on standard input).
AdcliOutcome Adcli(AdcliCommand command, const std::vector<std::string>& arguments, const char* secret,
                   seconds bound)
{
    AdcliOutcome outcome = RunAdcli(arguments, secret, bound);
    const std::uint32_t status =
        ClassifyAdcliResult(command, outcome.status, outcome.timedOut, outcome.errors);
    if (status != ORVAUTH_STATUS_SUCCESS) {
        std::string reason = outcome.timedOut ? "no answer within " + std::to_string(bound.count()) + " s"
                                              : outcome.errors;
        while (!reason.empty() && (reason.back() == '\n' || reason.back() == ' ')) {
            reason.pop_back();
        }
        // One log line per failure, whatever adcli printed.
        syslog(LOG_WARNING, "adclient: adcli %s failed (status %u): %s", arguments.front().c_str(),
               static_cast<unsigned>(status), orvauth_base::LogText(reason).c_str());
        Fail(status);
    }
    return outcome;
}

void AddController(std::vector<std::string>& arguments, const std::string& controller)
{
    if (!controller.empty()) {
        arguments.push_back("--domain-controller=" + controller);
    }
}

std::vector<std::string> WordList(const char* const* array) { return orvauth_plugin::WordList(array, IsPlainWord); }

// A password or one-time password goes to adcli as one line of input.
void RequireSecret(const char* secret)
{
    if (secret == nullptr || *secret == '\0' || std::strpbrk(secret, "\r\n") != nullptr) {
        Fail(ORVAUTH_STATUS_INVALID_PARAMETER);
    }
}

const char* const MEMBERSHIP_KEYS[] = {keys::DOMAIN,     keys::NETBIOS,       keys::REALM,    keys::DOMAIN_SID,
                                       keys::CONTROLLER, keys::COMPUTER_NAME, keys::HOST_FQDN};

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

void RemoveKeytab()
{
    if (::unlink(KeytabPath().c_str()) != 0 && errno != ENOENT) {
        Fail(ORVAUTH_STATUS_ACCESS_DENIED);
    }
}

// The identity service follows the membership just recorded. When it
// cannot be configured the join is taken back here (keytab and state), so
// that a failed join leaves nothing behind on the host.
void ConfigureIdentityService()
{
    StateFile state = LoadState();
    const std::string realm = state.Value(keys::REALM);
    const SssdDomain domain{state.Value(keys::DOMAIN), realm, KeytabPath(),
                            state.Value(keys::COMPUTER_NAME) + "$@" + realm, state.Value(keys::HOST_FQDN),
                            state.Values(keys::PREFERRED_CONTROLLER)};
    try {
        SssdConfig().Configure(domain);
    } catch (const SssdConfigError& e) {
        syslog(LOG_ERR, "adclient: %s; the join is taken back", e.what());
        RemoveKeytab();
        ForgetMembership(state);
        SaveState(state);
        ClearIntent();
        Fail(ORVAUTH_STATUS_ACCESS_DENIED);
    }
}

std::vector<std::string> JoinArguments(const std::string& domain, const std::string& hostFqdn,
                                       const std::vector<std::string>& preferred)
{
    PrepareDirectories();
    std::vector<std::string> arguments{"join", "--domain=" + domain, "--host-fqdn=" + hostFqdn,
                                       "--host-keytab=" + KeytabPath(), "--stdin-password", "--show-details"};
    AddController(arguments, preferred.empty() ? orvauth_base::ProbeControllers(domain, PROBE_BOUND).answering : preferred.front());
    return arguments;
}

// --- the intent journal ----------------------------------------------------------

// Runs an adcli command that changes the directory. When it fails, the
// directory is as it was and the journal goes; when it was stopped at its
// bound nobody knows, and the journal stays for the next call to settle.
AdcliOutcome JournaledAdcli(AdcliCommand command, const std::vector<std::string>& arguments, const char* secret)
{
    try {
        return Adcli(command, arguments, secret, MEMBERSHIP_BOUND);
    } catch (const StatusError& error) {
        if (error.status != ORVAUTH_STATUS_TIMED_OUT) {
            ClearIntent();
        }
        throw;
    }
}

StateFile JoinIntent(const std::string& domain, const std::string& hostFqdn)
{
    StateFile journal;
    journal.Set(intent::OPERATION, intent::JOIN);
    journal.Set(intent::PHASE, intent::STARTED);
    journal.Set(keys::DOMAIN, domain);
    journal.Set(keys::HOST_FQDN, hostFqdn);
    RecordIntent(journal);
    return journal;
}

// The directory has the account: the journal takes what adcli reported, so
// that the host's files can be completed from it whenever this is cut
// short; then the files follow and the journal goes.
void FinishJoin(const StateFile& details)
{
    StateFile journal = details;
    journal.Set(intent::OPERATION, intent::JOIN);
    journal.Set(intent::PHASE, intent::DIRECTORY_DONE);
    RecordIntent(journal);
    RecordJoin(details);
    ConfigureIdentityService();
    ClearIntent();
}

// The host's side of a leave: keytab, membership, identity service.
void LeaveLocally(const std::string& domain)
{
    RemoveKeytab();
    StateFile state = LoadState();
    ForgetMembership(state);
    SaveState(state);
    try {
        SssdConfig().Remove(domain);
    } catch (const SssdConfigError& e) {
        // The host has left; a stale section only names a domain it is no
        // longer in.
        syslog(LOG_ERR, "adclient: %s", e.what());
    }
}

enum class Keytab { Accepted, Refused, Unknown };

// Whether the directory accepts the host keytab for domain: Unknown when no
// controller answered.
Keytab CheckKeytab(const std::string& domain, const std::string& controller)
{
    if (::access(KeytabPath().c_str(), F_OK) != 0) {
        return Keytab::Refused;
    }
    std::vector<std::string> arguments{"testjoin", "--domain=" + domain, "--host-keytab=" + KeytabPath()};
    AddController(arguments, controller);
    const AdcliOutcome outcome = RunAdcli(arguments, nullptr, QUERY_BOUND);
    const std::uint32_t status =
        ClassifyAdcliResult(AdcliCommand::TestJoin, outcome.status, outcome.timedOut, outcome.errors);
    switch (status) {
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
// wrote, the join is completed with what the directory says of itself;
// otherwise the keytab is taken back.
void SettleStartedJoin(const StateFile& journal, const std::string& domain)
{
    const Keytab keytab = CheckKeytab(domain, "");
    if (keytab == Keytab::Unknown) {
        syslog(LOG_WARNING, "adclient: a join of %s was interrupted and no controller answered; it is settled by "
               "the next join, leave or status", domain.c_str());
        return;
    }
    if (keytab == Keytab::Refused) {
        RemoveKeytab();
        ClearIntent();
        syslog(LOG_NOTICE, "adclient: a join of %s was interrupted before the directory accepted this host; "
               "taken back (join again to retry)", domain.c_str());
        return;
    }
    const AdcliOutcome info = Adcli(AdcliCommand::Info, {"info", domain}, nullptr, QUERY_BOUND);
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
void SettleLeave(const StateFile& journal, bool mayAskDirectory)
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
        const Keytab keytab = CheckKeytab(domain, state.Value(keys::CONTROLLER));
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
// mayAskDirectory (at load) only what the journal alone decides.
// The caller holds stateLock.
void SettleInterrupted(bool mayAskDirectory)
{
    const StateFile journal = LoadIntent();
    const std::string operation = journal.Value(intent::OPERATION);
    if (operation == intent::LEAVE) {
        SettleLeave(journal, mayAskDirectory);
    } else if (operation == intent::JOIN && journal.Value(intent::PHASE) == intent::DIRECTORY_DONE) {
        FinishJoin(journal);
        syslog(LOG_NOTICE, "adclient: completed the interrupted join of %s", journal.Value(keys::DOMAIN).c_str());
    } else if (operation == intent::JOIN && mayAskDirectory) {
        SettleStartedJoin(journal, journal.Value(keys::DOMAIN));
    }
}

MachineAccount AccountOf(const Membership& membership)
{
    return {Controller(membership), membership.realm, membership.computerName, KeytabPath()};
}

// (DNS name, NetBIOS name, trustDirection) of every trustedDomain object.
struct TrustedDomain {
    std::string dnsName, netbiosName;
};

std::vector<TrustedDomain> LookupTrustedDomains(const Membership& membership)
{
    DirectorySession session(AccountOf(membership), LDAP_BOUND);
    std::vector<TrustedDomain> domains;
    for (const DirectoryEntry& entry : session.Search("CN=System," + DomainComponents(membership.domain),
                                                      "(objectClass=trustedDomain)",
                                                      {"trustPartner", "flatName", "trustDirection"})) {
        const std::string dns = entry.First("trustpartner");
        const std::string flat = entry.First("flatname");
        if (!dns.empty()) {
            domains.push_back({dns, flat.empty() ? ToUpper(dns.substr(0, dns.find('.'))) : flat});
        }
    }
    return domains;
}

bool FindTrusted(const Membership& membership, const std::string& name, TrustedDomain& found)
{
    for (const TrustedDomain& domain : LookupTrustedDomains(membership)) {
        if (EqualsIgnoringCase(name, domain.dnsName) || EqualsIgnoringCase(name, domain.netbiosName)) {
            found = domain;
            return true;
        }
    }
    return false;
}

std::int32_t ReturnList(const char* key, char*** out, ActiveDirectoryClientReleaseFunction* release)
{
    return ReturnStrings(out, release, [key] {
        std::lock_guard<std::mutex> guard(stateLock);
        return LoadState().Values(key);
    });
}

std::int32_t StoreList(const char* key, const char* const* array)
{
    return static_cast<std::int32_t>(Guarded([&] {
        const std::vector<std::string> values = WordList(array);
        std::lock_guard<std::mutex> guard(stateLock);
        StateFile state = LoadState();
        state.Replace(key, values);
        SaveState(state);
    }));
}

// --- operations ----------------------------------------------------------------

std::int32_t JoinDomain(const char* domainName, const char* organizationalUnit, const Credentials* credentials)
{
    return static_cast<std::int32_t>(Guarded([&] {
        if (credentials == nullptr || credentials->userName == nullptr ||
            (organizationalUnit != nullptr && !IsStorable(organizationalUnit))) {
            Fail(ORVAUTH_STATUS_INVALID_PARAMETER);
        }
        RequireSecret(credentials->password);
        if (!IsPlainWord(domainName)) {
            Fail(ORVAUTH_STATUS_INVALID_DOMAIN_NAME);
        }
        const std::string login = LoginName(credentials->userName);
        const std::string hostFqdn = LocalHostFqdn();
        std::lock_guard<std::mutex> guard(stateLock);
        SettleInterrupted(true);
        const StateFile state = LoadState();
        if (IsJoined(state)) {
            Fail(ORVAUTH_STATUS_ALREADY_JOINED);
        }
        std::vector<std::string> arguments =
            JoinArguments(domainName, hostFqdn, state.Values(keys::PREFERRED_CONTROLLER));
        arguments.push_back("--login-user=" + login);
        if (organizationalUnit != nullptr) {
            arguments.push_back("--domain-ou=" + ContainerDN(organizationalUnit, domainName));
        }
        JoinIntent(domainName, hostFqdn);
        FinishJoin(JoinDetails(JournaledAdcli(AdcliCommand::Join, arguments, credentials->password), hostFqdn));
    }));
}

std::int32_t PartDomain(const Credentials* credentials)
{
    return static_cast<std::int32_t>(Guarded([&] {
        {
            std::lock_guard<std::mutex> guard(stateLock);
            SettleInterrupted(true);
        }
        const Membership membership = RequireMembership();
        std::lock_guard<std::mutex> guard(stateLock);
        const bool withCredentials = credentials != nullptr && credentials->userName != nullptr;
        StateFile journal;
        journal.Set(intent::OPERATION, intent::LEAVE);
        journal.Set(intent::PHASE, intent::STARTED);
        journal.Set(intent::WITH_CREDENTIALS, withCredentials ? "yes" : "no");
        if (withCredentials) {
            const char* password = credentials->password == nullptr ? "" : credentials->password;
            if (std::strpbrk(password, "\r\n") != nullptr) {
                Fail(ORVAUTH_STATUS_INVALID_PARAMETER);
            }
            std::vector<std::string> arguments{"delete-computer", "--domain=" + membership.domain,
                                               "--login-user=" + LoginName(credentials->userName),
                                               "--stdin-password"};
            AddController(arguments, Controller(membership));
            arguments.push_back(membership.computerName);
            RecordIntent(journal);
            JournaledAdcli(AdcliCommand::Delete, arguments, password);
            journal.Set(intent::PHASE, intent::DIRECTORY_DONE);
        }
        RecordIntent(journal);
        LeaveLocally(membership.domain);
        ClearIntent();
    }));
}

std::int32_t GetActiveDomain(ActiveDirectoryClientDomainName* domain, ActiveDirectoryClientReleaseFunction* release)
{
    return static_cast<std::int32_t>(Guarded([&] {
        if (domain == nullptr || release == nullptr) {
            Fail(ORVAUTH_STATUS_INVALID_PARAMETER);
        }
        const Membership membership = RequireMembership();
        char* dns = CopyString(membership.domain);
        char* netbios = nullptr;
        try {
            netbios = CopyString(membership.netbios);
        } catch (...) {
            ReleaseResult(dns);
            throw;
        }
        domain->dnsName = dns;
        domain->netbiosName = netbios;
        *release = ReleaseResult;
    }));
}

std::int32_t SetPreferredDomainControllers(const char* const* controllers)
{
    return StoreList(keys::PREFERRED_CONTROLLER, controllers);
}

std::int32_t GetPreferredDomainControllers(char*** controllers, ActiveDirectoryClientReleaseFunction* release)
{
    return ReturnList(keys::PREFERRED_CONTROLLER, controllers, release);
}

TrustState GetDomainTrustState()
{
    TrustState answer = ORVAUTH_TRUST_OTHER_FAILURE;
    const std::uint32_t status = Guarded([&] {
        {
            std::lock_guard<std::mutex> guard(stateLock);
            SettleInterrupted(true);
        }
        const Membership membership = RequireMembership();
        std::vector<std::string> arguments{"testjoin", "--domain=" + membership.domain,
                                           "--host-keytab=" + KeytabPath()};
        AddController(arguments, Controller(membership));
        Adcli(AdcliCommand::TestJoin, arguments, nullptr, QUERY_BOUND);
        answer = ORVAUTH_TRUST_GOOD;
    });
    switch (status) {
    case ORVAUTH_STATUS_SUCCESS:
        return answer;
    case ORVAUTH_STATUS_FILE_NOT_FOUND:
        return ORVAUTH_TRUST_NOT_JOINED;
    case ORVAUTH_STATUS_NO_SUCH_DOMAIN:
    case ORVAUTH_STATUS_TIMED_OUT:
        return ORVAUTH_TRUST_UNREACHABLE;
    case ORVAUTH_STATUS_NO_SUCH_USER:
    case ORVAUTH_STATUS_INVALID_PASSWORD:
    case ORVAUTH_STATUS_ACCOUNT_DISABLED:
    case ORVAUTH_STATUS_PASSWORD_EXPIRED:
        return ORVAUTH_TRUST_BROKEN;
    default:
        return ORVAUTH_TRUST_OTHER_FAILURE;
    }
}

std::int32_t GetTrustedDomains(ActiveDirectoryClientDomainName*** domains,
                               ActiveDirectoryClientReleaseFunction* release)
{
    return static_cast<std::int32_t>(Guarded([&] {
        if (domains == nullptr || release == nullptr) {
            Fail(ORVAUTH_STATUS_INVALID_PARAMETER);
        }
        std::vector<std::pair<std::string, std::string>> pairs;
        for (const TrustedDomain& domain : LookupTrustedDomains(RequireMembership())) {
            pairs.emplace_back(domain.dnsName, domain.netbiosName);
        }
        *domains = CopyDomainNameArray(pairs);
        *release = ReleaseResult;
    }));
}

std::string MachineAccountDNAnswer(const char*)
{
    const Membership membership = RequireMembership();
    DirectorySession session(AccountOf(membership), LDAP_BOUND);
    const std::vector<DirectoryEntry> entries =
        session.Search(DomainComponents(membership.domain),
                       "(&(objectClass=computer)(sAMAccountName=" + orvauth_base::EscapedFilterValue(membership.computerName) + "$))",
                       {"distinguishedName"});
    if (entries.size() != 1) {
        Fail(ORVAUTH_STATUS_NO_TRUST_ACCOUNT);  // the directory has no (or no single) account for this host
    }
    return entries.front().dn;
}

std::int32_t GetMachineAccountDN(char** distinguishedName, ActiveDirectoryClientReleaseFunction* release)
{
    return ReturnString(distinguishedName, release, MachineAccountDNAnswer, nullptr);
}

std::int32_t GetAnyDomainController(const char* selector, const char* domainName, char** controller,
                                    ActiveDirectoryClientReleaseFunction* release)
{
    return static_cast<std::int32_t>(Guarded([&] {
        if (controller == nullptr || release == nullptr || (selector != nullptr && !IsPlainWord(selector))) {
            Fail(ORVAUTH_STATUS_INVALID_PARAMETER);
        }
        if (!IsPlainWord(domainName)) {
            Fail(ORVAUTH_STATUS_INVALID_DOMAIN_NAME);
        }
        std::vector<std::string> arguments{"info"};
        {
            // A preferred controller is asked only about its own domain.
            std::lock_guard<std::mutex> guard(stateLock);
            const StateFile state = LoadState();
            const std::vector<std::string> preferred = state.Values(keys::PREFERRED_CONTROLLER);
            if (IsJoined(state) && !preferred.empty() &&
                (EqualsIgnoringCase(domainName, state.Value(keys::DOMAIN)) ||
                 EqualsIgnoringCase(domainName, state.Value(keys::NETBIOS)))) {
                AddController(arguments, preferred.front());
            }
        }
        orvauth_base::Controllers probed;
        if (arguments.size() == 1) {
            probed = orvauth_base::ProbeControllers(domainName, PROBE_BOUND);
            AddController(arguments, probed.answering);
        }
        arguments.push_back(domainName);
        const AdcliOutcome outcome = Adcli(AdcliCommand::Info, arguments, nullptr, QUERY_BOUND);
        std::string chosen = DetailValue(outcome.output, "domain-controller");
        if (selector != nullptr) {
            chosen.clear();
            std::vector<std::string> names = SplitWords(DetailValue(outcome.output, "domain-controllers"));
            if (names.empty()) {  // adcli lists them only when it looked them up itself
                names = probed.listed;
            }
            for (const std::string& name : names) {
                if (StartsWithIgnoringCase(name, selector)) {
                    chosen = name;
                    break;
                }
            }
        }
        if (chosen.empty()) {
            Fail(ORVAUTH_STATUS_NO_LOGON_SERVERS);
        }
        *controller = CopyString(chosen);
        *release = ReleaseResult;
    }));
}

// "NETBIOS\account" with the directory's spelling of the account for a user
// of the joined domain; for a trusted domain, whose directory this host
// cannot read, its NetBIOS name and the name as given.
std::string CanonicalUsernameAnswer(const char* userName)
{
    if (userName == nullptr || *userName == '\0' || !IsStorable(userName)) {
        Fail(ORVAUTH_STATUS_INVALID_ACCOUNT_NAME);
    }
    const Membership membership = RequireMembership();
    std::string name = userName;
    std::string domainPart = membership.domain;
    const std::string::size_type backslash = name.find('\\');
    const std::string::size_type at = name.rfind('@');
    if (backslash != std::string::npos) {
        domainPart = name.substr(0, backslash);
        name = name.substr(backslash + 1);
    } else if (at != std::string::npos) {
        domainPart = name.substr(at + 1);
        name = name.substr(0, at);
    }
    if (name.empty() || name.find_first_of("\\@") != std::string::npos) {
        Fail(ORVAUTH_STATUS_INVALID_ACCOUNT_NAME);
    }
    if (!NamesDomain(membership, domainPart)) {
        TrustedDomain trusted;
        if (!FindTrusted(membership, domainPart, trusted)) {
            Fail(ORVAUTH_STATUS_NO_SUCH_DOMAIN);
        }
        return ToUpper(trusted.netbiosName) + "\\" + name;
    }
    DirectorySession session(AccountOf(membership), LDAP_BOUND);
    const std::string value = orvauth_base::EscapedFilterValue(name);
    const std::vector<DirectoryEntry> entries = session.Search(
        DomainComponents(membership.domain),
        "(&(|(objectClass=user)(objectClass=group))(|(sAMAccountName=" + value + ")(userPrincipalName=" + value + "@" +
            orvauth_base::EscapedFilterValue(membership.domain) + ")))",
        {"sAMAccountName"});
    if (entries.size() != 1 || entries.front().First("samaccountname").empty()) {
        Fail(ORVAUTH_STATUS_NO_SUCH_USER);
    }
    return ToUpper(membership.netbios) + "\\" + entries.front().First("samaccountname");
}

std::int32_t ConvertCanonicalUsername(const char* userName, char** canonicalName,
                                      ActiveDirectoryClientReleaseFunction* release)
{
    return ReturnString(canonicalName, release, CanonicalUsernameAnswer, userName);
}

// The account an authentication proxy preset: createdValue1 is its
// distinguished name (informational), createdValue2 the one-time password.
std::int32_t JoinDomainWithMachineAccount(const ActiveDirectoryClientDomainInfo* domainInfo,
                                          const ActiveDirectoryClientMachineAccountInfo* account)
{
    return static_cast<std::int32_t>(Guarded([&] {
        if (domainInfo == nullptr || account == nullptr || domainInfo->dnsName == nullptr ||
            domainInfo->netbiosName == nullptr || domainInfo->sid == nullptr || account->hostName == nullptr ||
            account->createdValue1 == nullptr || account->createdValue2 == nullptr) {
            Fail(ORVAUTH_STATUS_INVALID_PARAMETER);
        }
        if (*account->createdValue2 == '\0') {
            Fail(ORVAUTH_STATUS_NO_TRUST_ACCOUNT);
        }
        RequireSecret(account->createdValue2);
        const char* domain = *domainInfo->dnsName != '\0' ? domainInfo->dnsName : domainInfo->netbiosName;
        if (!IsPlainWord(domain)) {
            Fail(ORVAUTH_STATUS_INVALID_DOMAIN_NAME);
        }
        if (!IsPlainWord(account->hostName)) {
            Fail(ORVAUTH_STATUS_INVALID_COMPUTER_NAME);
        }
        // The proxy names the host by its short name; keep the host's own
        // fully qualified name when it is the same host.
        std::string hostFqdn = std::string(account->hostName) + "." + domain;
        try {
            const std::string local = LocalHostFqdn();
            if (EqualsIgnoringCase(local.substr(0, local.find('.')), account->hostName)) {
                hostFqdn = local;
            }
        } catch (const StatusError&) {
        }
        std::lock_guard<std::mutex> guard(stateLock);
        SettleInterrupted(true);
        const StateFile state = LoadState();
        if (IsJoined(state)) {
            Fail(ORVAUTH_STATUS_ALREADY_JOINED);
        }
        std::vector<std::string> arguments =
            JoinArguments(domain, hostFqdn, state.Values(keys::PREFERRED_CONTROLLER));
        arguments.push_back("--login-type=computer");
        JoinIntent(domain, hostFqdn);
        const AdcliOutcome outcome = JournaledAdcli(AdcliCommand::MachineJoin, arguments, account->createdValue2);
        const std::string sid = DetailValue(outcome.output, "domain-SID");
        if (*domainInfo->sid != '\0' && !EqualsIgnoringCase(sid, domainInfo->sid)) {
            // Joined a domain other than the one the proxy reported: take the
            // keytab back rather than keep a membership nobody asked for.
            RemoveKeytab();
            ClearIntent();
            Fail(ORVAUTH_STATUS_DOMAIN_TRUST_INCONSISTENT);
        }
        FinishJoin(JoinDetails(outcome, hostFqdn));
    }));
}

std::string HostPrincipalAnswer(const char* domainName)
{
    if (domainName == nullptr || *domainName == '\0') {
        Fail(ORVAUTH_STATUS_INVALID_DOMAIN_NAME);
    }
    const Membership membership = RequireMembership();
    TrustedDomain trusted;
    if (!NamesDomain(membership, domainName) && !FindTrusted(membership, domainName, trusted)) {
        Fail(ORVAUTH_STATUS_NO_SUCH_DOMAIN);
    }
    // A trusted domain knows the host by its principal in its own realm.
    return membership.computerName + "$@" + membership.realm;
}

std::int32_t GetHostPrincipalForDomain(const char* domainName, char** principal,
                                       ActiveDirectoryClientReleaseFunction* release)
{
    return ReturnString(principal, release, HostPrincipalAnswer, domainName);
}

std::uint32_t GetDomainTrustRelationship(const char* domainName)
{
    std::uint32_t relation = ORVAUTH_RELATION_NONE;
    Guarded([&] {
        if (domainName == nullptr || *domainName == '\0') {
            return;
        }
        const Membership membership = RequireMembership();
        TrustedDomain trusted;
        if (NamesDomain(membership, domainName)) {
            relation = ORVAUTH_RELATION_JOINED_DOMAIN;
        } else if (FindTrusted(membership, domainName, trusted)) {
            relation = ORVAUTH_RELATION_TRUSTED_DOMAIN;
        }
    });
    return relation;
}

std::int32_t SetSmartCardEnabledServices(const char* const* services)
{
    return StoreList(keys::SMARTCARD_SERVICE, services);
}

std::int32_t GetSmartCardEnabledServices(char*** services, ActiveDirectoryClientReleaseFunction* release)
{
    return ReturnList(keys::SMARTCARD_SERVICE, services, release);
}

// A new password for the machine account now: adcli update generates it,
// sets it in the directory as the machine account (the host keytab's key)
// and adds the new keys to the keytab, keeping the previous ones for
// controllers that have not replicated the change yet. adcli writes the
// keytab only after the directory took the password, so a failure leaves
// the old keys working. Its failures are those of a keytab login, as for
// testjoin.
std::int32_t RenewMachinePassword()
{
    return static_cast<std::int32_t>(Guarded([&] {
        const Membership membership = RequireMembership();
        std::vector<std::string> arguments{"update", "--domain=" + membership.domain,
                                           "--host-keytab=" + KeytabPath(), "--computer-password-lifetime=0"};
        if (!membership.computerName.empty()) {
            arguments.push_back("--computer-name=" + membership.computerName);
        }
        if (!membership.hostFqdn.empty()) {
            arguments.push_back("--host-fqdn=" + membership.hostFqdn);
        }
        AddController(arguments, Controller(membership));
        Adcli(AdcliCommand::TestJoin, arguments, nullptr, MEMBERSHIP_BOUND);
        syslog(LOG_NOTICE, "adclient: the machine account password of %s in %s was renewed",
               membership.computerName.c_str(), membership.domain.c_str());
    }));
}

// At load: what a run killed with its process left in /tmp goes, and what
// the journal alone can settle is settled (the rest needs the directory and
// waits for the next join, leave or status).
__attribute__((constructor)) void CleanUpAfterInterruptedRuns()
{
    RemoveAbandonedScratchDirectories();
    Guarded([] {
        std::lock_guard<std::mutex> guard(stateLock);
        SettleInterrupted(false);
    });
}

}  // namespace

#define ORVAUTH_PLUGIN_EXPORT __attribute__((visibility("default")))

extern "C" {

// A host joined this way authenticates users through SSSD's modules.
ORVAUTH_PLUGIN_EXPORT struct ActiveDirectoryClientMetadata ActiveDirectoryClientMetadata = {
    4, "pam_sss.so", nullptr, "sss", nullptr,
};

ORVAUTH_PLUGIN_EXPORT struct ActiveDirectoryClientOperations ActiveDirectoryClientOperations = {
    4,
    JoinDomain,
    PartDomain,
    GetActiveDomain,
    SetPreferredDomainControllers,
    GetPreferredDomainControllers,
    nullptr,  // slot 6 is reserved
    GetDomainTrustState,
    GetTrustedDomains,
    GetMachineAccountDN,
    GetAnyDomainController,
    ConvertCanonicalUsername,
    JoinDomainWithMachineAccount,
    GetHostPrincipalForDomain,
    GetDomainTrustRelationship,
    SetSmartCardEnabledServices,
    GetSmartCardEnabledServices,
    RenewMachinePassword,
};

}  // extern "C"
