// The name-service switch file is edited as text, line by line, so that
// every line, comment and order it does not change stays; the PAM files go
// through a backend (LoginBackend.h); who may log in is the login settings
// file (LoginSettingsFile.h).
#include <orvane/host/Logins.h>

#include "logins/LoginBackend.h"
#include "logins/LoginRules.h"
#include "logins/LoginSettingsFile.h"
#include "base/AsciiText.h"

#include <orvane/authentication/ActiveDirectoryProvider.h>
#include <orvane/host/Stores.h>

#include <SystemConfiguration/NSSConfiguration.h>

#include <filesystem>
#include <ostream>
#include <sstream>

namespace orvane::host {
namespace {

const char* const DEFAULT_PAM_FILES[] = {"common-auth", "common-account", "common-password", "common-session"};
constexpr int DEFAULT_OFFLINE_DAYS = 7;

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

std::string Normal(const std::string& path)
{
    std::string normal = std::filesystem::path(path).lexically_normal().string();
    while (normal.size() > 1 && normal.back() == '/') {
        normal.pop_back();
    }
    return normal;
}

std::string RecordPath(const HostFiles& files) { return files.stateDirectory + "/logins.json"; }

std::vector<std::string> PamPaths(const HostFiles& files, const std::vector<std::string>& names)
{
    std::vector<std::string> paths;
    for (const std::string& name : names) {
        if (name.empty()) {
            throw std::invalid_argument("an empty PAM file name");
        }
        paths.push_back(name.find('/') == std::string::npos ? files.pamDirectory + "/" + name : Normal(name));
    }
    if (names.empty()) {
        for (const char* name : DEFAULT_PAM_FILES) {
            paths.push_back(files.pamDirectory + "/" + name);
        }
    }
    return paths;
}

// Keeps only what is really in the files when a change failed half-way.
template <typename Body>
void Recorded(const std::string& path, const LoginRecord& previous, Body body)
{
    try {
        body();
    } catch (const LoginEditRefused& e) {
        previous.Empty() ? RemoveLoginRecord(path) : SaveLoginRecord(path, previous);
        throw std::runtime_error(e.what());
    } catch (...) {
        previous.Empty() ? RemoveLoginRecord(path) : SaveLoginRecord(path, previous);
        throw;
    }
}

}  // namespace

Logins::Logins(HostFiles files) : files(std::move(files))
{
    // One spelling of each path ("/etc/pam.d/" is "/etc/pam.d"), so that
    // disable finds what enable recorded whatever the spelling.
    for (std::string* path : {&this->files.nsswitchConf, &this->files.pamDirectory, &this->files.sssdConf,
                              &this->files.stateDirectory}) {
        *path = Normal(*path);
    }
}

void Logins::Enable(const std::vector<std::string>& pamFiles, int offlineDays, std::ostream& report) const
{
    const std::vector<std::string> pamPaths = PamPaths(files, pamFiles);
    const std::string active = RecordedActiveStore();
    if (active != DIRECTORY_STORE) {
        throw std::runtime_error("logins enable needs the active store to be '" + std::string(DIRECTORY_STORE) +
                                 "', not '" + active + "'; no file was changed");
    }
    const LoginModules modules = DirectoryModules();
    const std::string domain = JoinedDomain();
    const std::string& nsswitch = files.nsswitchConf;

    // Everything is checked before anything is written.
    const LoginRecord previous = LoadLoginRecord(RecordPath(files));
    LoginRecord record = previous;
    std::vector<std::string> added;
    std::string nssText, nssNew;
    try {
        nssText = ReadLoginFile(nsswitch);
        nssNew = AddNssService(nssText, modules, added);
        SystemConfiguration::NSSConfiguration model;
        std::istringstream check(nssNew);
        check >> model;
    } catch (const std::exception& e) {
        const std::string what = e.what();
        throw std::runtime_error((what.rfind(nsswitch, 0) == 0 ? what : nsswitch + ": " + what) +
                                 "; no file was changed");
    }
    FileRecord& nss = record.files[nsswitch];
    if (previous.files.count(nsswitch) == 0) {
        nss.before = nssText;
    }
    nss.after = nssNew;
    nss.added.insert(nss.added.end(), added.begin(), added.end());

    std::unique_ptr<LoginBackend> backend = ChooseLoginBackend(files.pamDirectory, pamPaths);
    auto save = [&] { SaveLoginRecord(RecordPath(files), record); };
    Recorded(RecordPath(files), previous, [&] {
        save();
        backend->Enable(modules, record, save, report);
        if (nssNew != nssText) {
            ReplaceLoginFile(nsswitch, nssNew);
        }
    });
    report << nsswitch << ": "
           << (added.empty() ? modules.nssModule + " already on every login line"
                             : modules.nssModule + " added to " + std::to_string(added.size()) + " line(s)")
           << '\n';

    if (domain.empty()) {
        report << "This host is not joined to a domain: after 'orvauthctl join', say who may log in with "
                  "'orvauthctl logins permit'\n";
        return;
    }
    const LoginSettingsFile settingsFile(files.sssdConf);
    SssdSnippet snippet = settingsFile.Load();
    if (snippet.domain != domain) {
        snippet = SssdSnippet{domain, LoginAccess{}, DEFAULT_OFFLINE_DAYS, snippet.passwordAgeDays, snippet.renewalChecks,
                              snippet.dnsUpdate};
    }
    if (offlineDays >= 0 || snippet.offlineDays < 0) {
        snippet.offlineDays = offlineDays >= 0 ? offlineDays : DEFAULT_OFFLINE_DAYS;
    }
    settingsFile.Save(snippet, report);
    if (snippet.access.mode == AccessMode::Nobody) {
        report << "No directory user may log in yet: say who may with 'orvauthctl logins permit --user <name>...', "
                  "'--group <name>...' or '--all'\n";
    }
}

void Logins::Disable(const std::vector<std::string>& pamFiles, std::ostream& report) const
{
    const std::vector<std::string> pamPaths = PamPaths(files, pamFiles);
    const LoginModules modules = DirectoryModules();
    const LoginRecord record = LoadLoginRecord(RecordPath(files));
    if (record.Empty()) {
        report << "There is no record of a logins enable on this host (" << RecordPath(files)
               << "): nothing to give back; modules that were there before stay\n";
        return;
    }
    std::unique_ptr<LoginBackend> backend = ChooseLoginBackend(files.pamDirectory, pamPaths);
    if (backend->Name() != record.backend && !record.backend.empty()) {
        throw std::runtime_error("logins enable went through " + record.backend + ", but the PAM files are now " +
                                 "managed through " + backend->Name() + "; nothing was changed");
    }
    const std::string& nsswitch = files.nsswitchConf;
    LoginRecord pamOnly = record;
    pamOnly.files.erase(nsswitch);
    try {
        backend->Disable(modules, pamOnly, report);
    } catch (const LoginEditRefused& e) {
        throw std::runtime_error(e.what());
    }
    auto found = record.files.find(nsswitch);
    if (found != record.files.end()) {
        GiveBack(nsswitch, found->second,
                 [&](const std::string& current) { return RemoveNssService(current, modules, found->second.added); },
                 report);
    }
    // Who may log in goes with the logins: the next enable starts from nobody.
    LoginSettingsFile(files.sssdConf).Remove(report);
    RemoveLoginRecord(RecordPath(files));
}

LoginsStatus Logins::Status(const std::vector<std::string>& pamFiles) const
{
    LoginsStatus status;
    // Looking works whatever store is active, with the modules of the
    // directory plug-in that provider.conf names.
    try {
        status.activeStore = RecordedActiveStore();
    } catch (const std::exception& e) {
        status.activeStore = std::string("unknown (") + e.what() + ")";
    }
    const LoginModules modules = DirectoryModules();
    status.nssModule = modules.nssModule;
    status.pamModule = modules.pamModule;
    std::unique_ptr<LoginBackend> backend = ChooseLoginBackend(files.pamDirectory, PamPaths(files, pamFiles));
    status.pamBackend = backend->Name();
    try {
        SystemConfiguration::NSSConfiguration model;
        std::istringstream in(ReadLoginFile(files.nsswitchConf));
        in >> model;
        status.files.push_back({files.nsswitchConf, LoginStateName(GetLoginState(model, modules))});
    } catch (const std::exception& e) {
        status.files.push_back({files.nsswitchConf, std::string("unknown: ") + e.what()});
    }
    for (const auto& state : backend->State(modules)) {
        status.files.push_back({state.first, state.second});
    }
    try {
        status.settings = LoginSettingsFile(files.sssdConf).Load();
    } catch (const std::exception& e) {
        status.settingsError = e.what();
    }
    return status;
}

namespace {

// The joined domain and its settings, for a change of who may log in.
SssdSnippet AccessSettings(const HostFiles& files, std::string& domain)
{
    domain = JoinedDomain();
    if (domain.empty()) {
        throw LoginsNotReady("this host is not joined to a domain: join it first (orvauthctl join); nothing "
                             "was changed");
    }
    if (LoadLoginRecord(RecordPath(files)).Empty()) {
        throw LoginsNotReady("directory logins are not enabled on this host (" + RecordPath(files) +
                             " records no logins enable): enable them first (orvauthctl logins enable), then say "
                             "who may log in; nothing was changed");
    }
    return LoginSettingsFile(files.sssdConf).LoadFor(domain);
}

LoginAccess SaveAccess(const HostFiles& files, const SssdSnippet& snippet, std::ostream& report)
{
    LoginSettingsFile(files.sssdConf).Save(snippet, report);
    return snippet.access;
}

}  // namespace

LoginAccess Logins::Permit(LoginNames kind, const std::vector<std::string>& names, std::ostream& report) const
{
    std::string domain;
    SssdSnippet snippet = AccessSettings(files, domain);
    // Names are taken in the directory's own spelling, and only when the
    // directory knows them.
    std::unique_ptr<orvane::authentication::ActiveDirectoryStore> store = CreateDirectoryStore();
    const std::string netbios = store->Provider()->GetActiveDomain().netbiosName;
    std::vector<std::string> qualified;
    for (const std::string& name : names) {
        try {
            // "NETBIOS\name" in the directory's spelling; a trusted
            // domain's name cannot be looked up here and is refused.
            const std::string canonical = store->ConvertCanonicalUsername(name);
            const size_t backslash = canonical.find('\\');
            if (backslash == std::string::npos ||
                !orvauth_base::EqualsIgnoringCase(canonical.substr(0, backslash), netbios)) {
                throw std::runtime_error("not a name of " + domain);
            }
            qualified.push_back(QualifiedName(canonical, domain));
        } catch (const std::exception& e) {
            throw std::runtime_error("the directory of " + domain + " does not confirm the " +
                                     (kind == LoginNames::Users ? "user" : "group") + " '" + name + "' (" + e.what() +
                                     "); nothing was changed");
        }
    }
    const bool users = kind == LoginNames::Users;
    orvane::host::Permit(snippet.access, users ? qualified : std::vector<std::string>{},
                         users ? std::vector<std::string>{} : qualified);
    return SaveAccess(files, snippet, report);
}

LoginAccess Logins::PermitAll(AccessMode mode, std::ostream& report) const
{
    std::string domain;
    SssdSnippet snippet = AccessSettings(files, domain);
    orvane::host::PermitAll(snippet.access, mode);
    return SaveAccess(files, snippet, report);
}

LoginAccess Logins::Deny(LoginNames kind, const std::vector<std::string>& names, std::ostream& report) const
{
    std::string domain;
    SssdSnippet snippet = AccessSettings(files, domain);
    std::vector<std::string> qualified;
    for (const std::string& name : names) {
        qualified.push_back(QualifiedName(name, domain));
    }
    const bool users = kind == LoginNames::Users;
    try {
        orvane::host::Deny(snippet.access, users ? qualified : std::vector<std::string>{},
                           users ? std::vector<std::string>{} : qualified);
    } catch (const AccessRuleRefused& e) {
        throw std::runtime_error(std::string(e.what()) + "; nothing was changed");
    }
    return SaveAccess(files, snippet, report);
}

LoginAccess Logins::DenyAll(std::ostream& report) const
{
    std::string domain;
    SssdSnippet snippet = AccessSettings(files, domain);
    orvane::host::DenyAll(snippet.access);
    return SaveAccess(files, snippet, report);
}

void Logins::SetPasswordRenewal(int days, const std::string& checks, std::ostream& report) const
{
    const std::string domain = JoinedDomain();
    if (domain.empty()) {
        throw std::runtime_error("this host is not joined to a domain: there is no machine password to renew");
    }
    const LoginSettingsFile settingsFile(files.sssdConf);
    SssdSnippet snippet = settingsFile.LoadFor(domain);
    snippet.passwordAgeDays = days < 0 ? snippet.passwordAgeDays : days;
    snippet.renewalChecks = checks.empty() ? snippet.renewalChecks : RenewalChecks(checks);
    settingsFile.Save(snippet, report);
}

}  // namespace orvane::host
