// logins enable | disable | status | permit | deny. The name-service switch
// file is edited as text, line by line, so that every line, comment and
// order it does not change stays; the PAM files go through a backend
// (LoginBackend.h); who may log in is the tool's SSSD snippet
// (LoginAccess.h). enable records what it added, and disable takes away
// that and nothing else.
#include "LoginCommands.h"

#include "Json.h"
#include "LoginAccess.h"
#include "LoginBackend.h"
#include "LoginRules.h"
#include "StoreAccess.h"
#include "base/AsciiText.h"

#include <orvane/authentication/ActiveDirectoryProvider.h>
#include <orvane/authentication/Exceptions.h>

#include <SystemConfiguration/NSSConfiguration.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

#ifndef ORVAUTHCTL_SSSD_CONF
#error "ORVAUTHCTL_SSSD_CONF and ORVAUTHCTL_STATE_DIR are set by the build"
#endif

namespace orvauthctl {

const char* const DEFAULT_NSSWITCH_CONF = "/etc/nsswitch.conf";
const char* const DEFAULT_PAM_DIR = "/etc/pam.d";
const char* const DEFAULT_SSSD_CONF = ORVAUTHCTL_SSSD_CONF;
const char* const DEFAULT_STATE_DIR = ORVAUTHCTL_STATE_DIR;

namespace {

const char* const DEFAULT_PAM_FILES[] = {"common-auth", "common-account", "common-password", "common-session"};
const char* const SNIPPET_NAME = "orvauth-logins.conf";
constexpr int DEFAULT_OFFLINE_DAYS = 7;

std::string nsswitchConf = DEFAULT_NSSWITCH_CONF;
std::string pamDirectory = DEFAULT_PAM_DIR;
std::string sssdConf = DEFAULT_SSSD_CONF;
std::string stateDirectory = DEFAULT_STATE_DIR;

std::string RecordPath() { return stateDirectory + "/logins.json"; }
std::string SnippetDirectory() { return sssdConf.substr(0, sssdConf.rfind('/') + 1) + "conf.d"; }
std::string SnippetPath() { return SnippetDirectory() + "/" + SNIPPET_NAME; }

LoginModules DirectoryModules()
{
    std::unique_ptr<orvane::authentication::ActiveDirectoryStore> store = CreateDirectoryStore();
    const orvane::authentication::ActiveDirectoryProvider& provider = *store->Provider();
    LoginModules modules{provider.PAMModule(), provider.PAMModuleParameters(), provider.NSSModule(),
                         provider.NSSModuleParameters()};
    try {
        CheckLoginModules(modules);
    } catch (const LoginEditRefused& e) {
        throw std::runtime_error(std::string(e.what()) + "; no file was changed");
    }
    return modules;
}

// The joined domain's DNS name, or "" when the host is not joined (the
// plug-in answers "file not found": no membership).
std::string JoinedDomain()
{
    try {
        return CreateDirectoryStore()->Provider()->GetActiveDomain().dnsName;
    } catch (const orvane::authentication::Exception& e) {
        if (e.Code() == 2) {
            return "";
        }
        throw;
    }
}

std::vector<std::string> PamFiles(const std::vector<std::string>& operands)
{
    std::vector<std::string> names(operands.begin() + 1, operands.end());
    if (names.empty()) {
        names.assign(std::begin(DEFAULT_PAM_FILES), std::end(DEFAULT_PAM_FILES));
    }
    std::vector<std::string> paths;
    for (const std::string& name : names) {
        if (name.empty()) {
            throw UsageError("logins: an empty PAM file name");
        }
        paths.push_back(name.find('/') == std::string::npos ? pamDirectory + "/" + name : name);
    }
    return paths;
}

SssdSnippet LoadSnippet()
{
    std::string text;
    try {
        if (::access(SnippetPath().c_str(), F_OK) != 0 && errno == ENOENT) {
            return SssdSnippet{};
        }
        return ParseSnippet(ReadLoginFile(SnippetPath()));
    } catch (const std::exception& e) {
        throw std::runtime_error(SnippetPath() + ": " + e.what() + "; remove it or correct it, then try again");
    }
}

// SSSD reads its configuration when it starts: restarted where a service
// manager runs it (and only if it runs), otherwise the operator is told.
void RestartSssd(const std::string& what, std::ostream& out)
{
    struct stat status;
    if (::stat("/run/systemd/system", &status) != 0 || !S_ISDIR(status.st_mode)) {
        out << what << "; SSSD takes it up when it starts: restart sssd\n";
        return;
    }
    try {
        RunHostProgram("/usr/bin/systemctl", {"try-restart", "sssd.service"});
        out << what << "; SSSD restarted\n";
    } catch (const std::exception& e) {
        out << what << "; SSSD could not be restarted (" << e.what() << "): restart it (systemctl restart sssd)\n";
    }
}

// Replaces the snippet (mode 0600, as SSSD demands of it) and tells what
// SSSD needs to take it up.
void SaveSnippet(const SssdSnippet& snippet, std::ostream& out)
{
    if (::mkdir(SnippetDirectory().c_str(), 0711) != 0 && errno != EEXIST) {
        throw std::runtime_error("cannot create " + SnippetDirectory() + ": " + std::strerror(errno));
    }
    ReplaceLoginFile(SnippetPath(), FormatSnippet(snippet));
    RestartSssd(SnippetPath() + " written", out);
}

// The whole number of days an option gives; zeroMeans says what 0 stands for.
int Days(const Invocation& call, const std::string& option, const std::string& zeroMeans)
{
    const std::string value = call.arguments.Value(option);
    if (value.empty() || value.size() > 5 || value.find_first_not_of("0123456789") != std::string::npos) {
        throw UsageError("--" + option + " takes a number of days (0: " + zeroMeans + "), not '" + value + "'");
    }
    return std::stoi(value);
}

void PrintPermitted(const SssdSnippet& snippet, std::ostream& out)
{
    out << "permitted to log in:";
    for (const std::string& line : DescribeAccess(snippet.access)) {
        out << "\n  " << line;
    }
}

int Enable(const Invocation& call, const LoginModules& modules, const std::vector<std::string>& pamFiles)
{
    if (RecordedActiveStore() != DIRECTORY_STORE) {
        throw std::runtime_error("logins enable needs the active store to be '" + std::string(DIRECTORY_STORE) +
                                 "', not '" + RecordedActiveStore() + "'; no file was changed");
    }
    const int offlineDays = call.arguments.Has("offline-days") ? Days(call, "offline-days", "no limit") : -1;
    const std::string domain = JoinedDomain();

    // Everything is checked before anything is written.
    const LoginRecord previous = LoadLoginRecord(RecordPath());
    LoginRecord record = previous;
    const std::string nssText = ReadLoginFile(nsswitchConf);
    std::vector<std::string> added;
    std::string nssNew;
    try {
        nssNew = AddNssService(nssText, modules, added);
        SystemConfiguration::NSSConfiguration model;
        std::istringstream check(nssNew);
        check >> model;
    } catch (const std::exception& e) {
        throw std::runtime_error(nsswitchConf + ": " + e.what() + "; no file was changed");
    }
    FileRecord& nss = record.files[nsswitchConf];
    if (previous.files.count(nsswitchConf) == 0) {
        nss.before = nssText;
    }
    nss.after = nssNew;
    nss.added.insert(nss.added.end(), added.begin(), added.end());

    std::unique_ptr<LoginBackend> backend = ChooseLoginBackend(pamDirectory, pamFiles);
    auto save = [&] { SaveLoginRecord(RecordPath(), record); };
    try {
        save();
        backend->Enable(modules, record, save, call.out);
        if (nssNew != nssText) {
            ReplaceLoginFile(nsswitchConf, nssNew);
        }
    } catch (const std::exception& e) {
        // The record keeps only what is really in the files.
        if (previous.Empty()) {
            RemoveLoginRecord(RecordPath());
        } else {
            SaveLoginRecord(RecordPath(), previous);
        }
        throw std::runtime_error(e.what());
    }
    call.out << nsswitchConf << ": "
             << (added.empty() ? modules.nssModule + " already on every login line"
                               : modules.nssModule + " added to " + std::to_string(added.size()) + " line(s)")
             << '\n';

    if (domain.empty()) {
        call.out << "This host is not joined to a domain: after 'orvauthctl join', say who may log in with "
                    "'orvauthctl logins permit'\n";
        return EXIT_OK;
    }
    SssdSnippet snippet = LoadSnippet();
    if (snippet.domain != domain) {
        snippet = SssdSnippet{domain, LoginAccess{}, DEFAULT_OFFLINE_DAYS, snippet.passwordAgeDays};
    }
    if (offlineDays >= 0 || snippet.offlineDays < 0) {
        snippet.offlineDays = offlineDays >= 0 ? offlineDays : DEFAULT_OFFLINE_DAYS;
    }
    SaveSnippet(snippet, call.out);
    if (snippet.access.mode == AccessMode::Nobody) {
        call.out << "No directory user may log in yet: say who may with 'orvauthctl logins permit --user <name>...', "
                    "'--group <name>...' or '--all'\n";
    }
    return EXIT_OK;
}

int Disable(const Invocation& call, const LoginModules& modules, const std::vector<std::string>& pamFiles)
{
    const LoginRecord record = LoadLoginRecord(RecordPath());
    if (record.Empty()) {
        call.out << "There is no record of a logins enable on this host (" << RecordPath()
                 << "): nothing to give back; modules that were there before stay\n";
        return EXIT_OK;
    }
    std::unique_ptr<LoginBackend> backend = ChooseLoginBackend(pamDirectory, pamFiles);
    if (backend->Name() != record.backend && !record.backend.empty()) {
        throw std::runtime_error("logins enable went through " + record.backend + ", but the PAM files are now " +
                                 "managed through " + backend->Name() + "; nothing was changed");
    }
    LoginRecord pamOnly = record;
    pamOnly.files.erase(nsswitchConf);
    backend->Disable(modules, pamOnly, call.out);
    auto found = record.files.find(nsswitchConf);
    if (found != record.files.end()) {
        GiveBack(nsswitchConf, found->second,
                 [&](const std::string& current) { return RemoveNssService(current, modules, found->second.added); },
                 call.out);
    }
    // Who may log in goes with the logins: the next enable starts from nobody.
    if (::unlink(SnippetPath().c_str()) == 0) {
        RestartSssd(SnippetPath() + " removed (who may log in)", call.out);
    } else if (errno != ENOENT) {
        throw std::runtime_error("cannot remove " + SnippetPath() + ": " + std::strerror(errno));
    }
    RemoveLoginRecord(RecordPath());
    return EXIT_OK;
}

int Status(const Invocation& call, const LoginModules& modules, const std::vector<std::string>& pamFiles,
           const std::string& active)
{
    std::unique_ptr<LoginBackend> backend = ChooseLoginBackend(pamDirectory, pamFiles);
    std::vector<std::pair<std::string, std::string>> states;
    try {
        SystemConfiguration::NSSConfiguration model;
        std::istringstream in(ReadLoginFile(nsswitchConf));
        in >> model;
        states.emplace_back(nsswitchConf, LoginStateName(GetLoginState(model, modules)));
    } catch (const std::exception& e) {
        states.emplace_back(nsswitchConf, std::string("unknown: ") + e.what());
    }
    for (const auto& state : backend->State(modules)) {
        states.push_back(state);
    }
    std::string snippetError;
    SssdSnippet snippet;
    try {
        snippet = LoadSnippet();
    } catch (const std::exception& e) {
        snippetError = e.what();
    }
    size_t unknown = std::count_if(states.begin(), states.end(),
                                   [](const auto& s) { return s.second.compare(0, 8, "unknown:") == 0; });
    if (call.arguments.Has("json")) {
        Json files = Json::object();
        for (const auto& state : states) {
            files[state.first] = state.second;
        }
        Json access = {{"mode", AccessModeName(snippet.access.mode)},
                       {"users", snippet.access.users},
                       {"groups", snippet.access.groups}};
        PrintJson(call.out, {{"active_store", active},
                             {"pam_backend", backend->Name()},
                             {"files", files},
                             {"domain", snippet.domain},
                             {"permitted", access},
                             {"offline_days", snippet.offlineDays},
                             {"machine_password_age_days", snippet.passwordAgeDays}});
    } else {
        call.out << "active store: " << active << "\nmodules: " << modules.nssModule << " (name-service switch), "
                 << modules.pamModule << " (PAM, through " << backend->Name() << ")\n";
        for (const auto& state : states) {
            call.out << state.first << ": " << state.second << '\n';
        }
        PrintPermitted(snippet, call.out);
        call.out << "\noffline logins: "
                 << (snippet.offlineDays < 0   ? "SSSD's default"
                     : snippet.offlineDays == 0 ? "no limit"
                                                : "within " + std::to_string(snippet.offlineDays) + " days of the last online login")
                 << '\n';
    }
    if (!snippetError.empty()) {
        throw std::runtime_error(snippetError);
    }
    if (unknown != 0) {
        throw std::runtime_error(std::to_string(unknown) + " file(s) could not be examined");
    }
    return EXIT_OK;
}

int Access(const Invocation& call, bool permit)
{
    const ParsedArguments& arguments = call.arguments;
    std::vector<std::string> names(arguments.operands.begin() + 1, arguments.operands.end());
    const int kinds = (arguments.Has("user") ? 1 : 0) + (arguments.Has("group") ? 1 : 0) +
                      (arguments.Has("all") ? 1 : 0) + (arguments.Has("gpo") ? 1 : 0);
    if (kinds != 1 || (!permit && arguments.Has("gpo"))) {
        throw UsageError(std::string("logins ") + (permit ? "permit" : "deny") + " takes one of " +
                         (permit ? "--user, --group, --all or --gpo" : "--user, --group or --all"));
    }
    const bool all = arguments.Has("all") || arguments.Has("gpo");
    if (all != names.empty()) {
        throw UsageError(all ? "--all and --gpo take no names" : "--user and --group take one name or more");
    }
    const std::string domain = JoinedDomain();
    if (domain.empty()) {
        throw std::runtime_error("this host is not joined to a domain: join it first (orvauthctl join); nothing "
                                 "was changed");
    }
    SssdSnippet snippet = LoadSnippet();
    if (snippet.domain != domain) {
        snippet = SssdSnippet{domain, LoginAccess{}, snippet.offlineDays, snippet.passwordAgeDays};
    }
    // Names are taken in the directory's own spelling, and only when the
    // directory knows them.
    std::vector<std::string> qualified;
    if (permit) {
        std::unique_ptr<orvane::authentication::ActiveDirectoryStore> store = CreateDirectoryStore();
        const std::string netbios = store->Provider()->GetActiveDomain().netbiosName;
        for (const std::string& name : names) {
            try {
                // "NETBIOS\name" in the directory's spelling; a trusted
                // domain's name cannot be looked up here and is refused.
                const std::string canonical = store->ConvertCanonicalUsername(name);
                const size_t backslash = canonical.find('\\');
                if (backslash == std::string::npos || !orvauth_base::EqualsIgnoringCase(canonical.substr(0, backslash), netbios)) {
                    throw std::runtime_error("not a name of " + domain);
                }
                qualified.push_back(QualifiedName(canonical, domain));
            } catch (const std::exception& e) {
                throw std::runtime_error("the directory of " + domain + " does not confirm the " +
                                         (arguments.Has("user") ? "user" : "group") + " '" + name + "' (" + e.what() +
                                         "); nothing was changed");
            }
        }
    } else {
        for (const std::string& name : names) {
            qualified.push_back(QualifiedName(name, domain));
        }
    }
    const bool users = arguments.Has("user");
    if (permit && all) {
        PermitAll(snippet.access, arguments.Has("gpo") ? AccessMode::DomainPolicy : AccessMode::Everyone);
    } else if (permit) {
        Permit(snippet.access, users ? qualified : std::vector<std::string>{}, users ? std::vector<std::string>{} : qualified);
    } else if (all) {
        DenyAll(snippet.access);
    } else {
        try {
            Deny(snippet.access, users ? qualified : std::vector<std::string>{}, users ? std::vector<std::string>{} : qualified);
        } catch (const AccessRuleRefused& e) {
            throw std::runtime_error(std::string(e.what()) + "; nothing was changed");
        }
    }
    SaveSnippet(snippet, call.out);
    PrintPermitted(snippet, call.out);
    call.out << '\n';
    return EXIT_OK;
}

int Logins(const Invocation& call)
{
    const std::string& verb = call.arguments.operands[0];
    if (verb == "permit" || verb == "deny") {
        return Access(call, verb == "permit");
    }
    if (verb != "enable" && verb != "disable" && verb != "status") {
        throw UsageError("logins: unknown action '" + verb + "' (expected: enable, disable, status, permit or deny)");
    }
    std::vector<std::string> pamFiles = PamFiles(call.arguments.operands);
    // Only the active directory store may bring its users in; taking them
    // out, or looking, works whatever store is active, with the modules of
    // the directory plug-in that provider.conf names.
    std::string active;
    try {
        active = RecordedActiveStore();
    } catch (const std::exception& e) {
        if (verb == "enable") {
            throw;
        }
        active = std::string("unknown (") + e.what() + ")";
    }
    const LoginModules modules = DirectoryModules();
    try {
        if (verb == "enable") {
            return Enable(call, modules, pamFiles);
        }
        return verb == "disable" ? Disable(call, modules, pamFiles) : Status(call, modules, pamFiles, active);
    } catch (const LoginEditRefused& e) {
        throw std::runtime_error(e.what());
    }
}

// renew: a new machine password now, through the directory plug-in; or,
// with --every, how old SSSD lets it grow before it renews it.
int Renew(const Invocation& call)
{
    const std::string domain = JoinedDomain();
    if (domain.empty()) {
        throw std::runtime_error("this host is not joined to a domain: there is no machine password to renew");
    }
    if (call.arguments.Has("every")) {
        const int days = Days(call, "every", "never");
        SssdSnippet snippet = LoadSnippet();
        if (snippet.domain != domain) {
            snippet = SssdSnippet{domain, LoginAccess{}, snippet.offlineDays, -1};
        }
        snippet.passwordAgeDays = days;
        SaveSnippet(snippet, call.out);
        call.out << (snippet.passwordAgeDays == 0
                         ? std::string("SSSD will not renew the machine password\n")
                         : "SSSD renews the machine password when it is " + std::to_string(days) + " days old\n");
        return EXIT_OK;
    }
    CreateDirectoryStore()->Provider()->RenewMachinePassword();
    call.out << "The machine password in " << domain
             << " was renewed; the host's keytab holds the new key and keeps the previous one\n";
    return EXIT_OK;
}

}  // namespace

void ApplyLoginFileSettings(const ParsedArguments& global)
{
    for (const char* name : {"nsswitch-conf", "pam-dir", "sssd-conf", "state-dir"}) {
        if (global.Has(name) && global.Value(name).empty()) {
            throw UsageError("--" + std::string(name) + " needs a path");
        }
    }
    nsswitchConf = global.Value("nsswitch-conf", DEFAULT_NSSWITCH_CONF);
    pamDirectory = global.Value("pam-dir", DEFAULT_PAM_DIR);
    sssdConf = global.Value("sssd-conf", DEFAULT_SSSD_CONF);
    stateDirectory = global.Value("state-dir", DEFAULT_STATE_DIR);
}

const std::string& StateDirectory() { return stateDirectory; }

std::vector<Command> LoginCommands()
{
    return {
        {"logins",
         "enable [--offline-days <n>] | disable | status [--json] [<pam-file>...]\n"
         "       | permit --user <name>... | --group <name>... | --all | --gpo\n"
         "       | deny --user <name>... | --group <name>... | --all",
         "let directory users log in, or stop them; say who may",
         "enable adds the directory plug-in's NSS module to the passwd, group and shadow lines of the\n"
         "name-service switch file (last on each line that lacks it; every other byte stays), and its\n"
         "PAM module to the PAM files: where pam-auth-update manages /etc/pam.d, by turning on the\n"
         "module's own profile and orvauth-mkhomedir (homes created at the first session, mode 0700\n"
         "from /etc/skel); elsewhere through the library's PAM model in the files named (default\n"
         "common-auth, common-account, common-password, common-session in the --pam-dir directory;\n"
         "no home-directory creation). It records what it added in the --state-dir directory; disable\n"
         "takes away exactly that: a file nobody changed since gets its old bytes back, one that\n"
         "was changed loses only what enable added; what was there before enable stays. enable\n"
         "needs \"Active Directory\" to be the active store and changes nothing when a file is\n"
         "refused. On a joined host it also writes the tool's SSSD settings (conf.d of --sssd-conf):\n"
         "offline logins with cached credentials within --offline-days of the last online login\n"
         "(default 7, 0: no limit); nobody may log in until permit says who.\n"
         "permit --user/--group adds names the directory knows (only those may log in then; SSSD's\n"
         "simple access provider), --all lets every directory user in, --gpo lets the domain's\n"
         "group policy logon rights decide (SSSD's ad_gpo_access_control = enforcing; the\n"
         "controllers' SYSVOL must be readable). deny --user/--group removes names (none left:\n"
         "nobody), deny --all lets nobody in. SSSD takes changes up when it restarts.\n"
         "status prints per file on, off or partly on, who may log in and the offline window.",
         {{"offline-days", "<n>", "enable: days offline logins stay possible (default 7, 0: no limit)"},
          {"json", "", "status: one JSON document"},
          {"user", "", "permit/deny: the names are users"},
          {"group", "", "permit/deny: the names are groups"},
          {"all", "", "permit/deny: every directory user"},
          {"gpo", "", "permit: the domain's group policy decides"}},
         1, SIZE_MAX, Logins},
        {"renew", "[--every <days>]", "renew the machine account password",
         "Gives the machine account a new password now, through the directory plug-in (adcli\n"
         "update on the plug-in's keytab: the key version goes up, the previous key stays for\n"
         "controllers that have not replicated the change). A failure leaves the old password and\n"
         "keytab working. With --every, sets instead how old SSSD lets the password grow before it\n"
         "renews it itself (default 30 days, 0: never; conf.d of --sssd-conf).",
         {{"every", "<days>", "the automatic renewal's period in days (0: never)"}},
         0, 0, Renew},
    };
}

}  // namespace orvauthctl
