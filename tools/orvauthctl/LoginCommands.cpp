// logins enable | disable | status. Each file is read into the library's
// model, edited there (LoginRules) and, when the edit changed something,
// written back whole from the model through an atomic replacement that
// keeps the file's mode. A file the model or the rules refuse is reported
// and never written.
#include "LoginCommands.h"

#include "LoginRules.h"
#include "StoreAccess.h"

#include <orvane/authentication/ActiveDirectoryProvider.h>
#include <orvane/authentication/Configuration.h>

#include <SystemConfiguration/Exceptions.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace orvauthctl {

const char* const DEFAULT_NSSWITCH_CONF = "/etc/nsswitch.conf";
const char* const DEFAULT_PAM_DIR = "/etc/pam.d";

namespace {

using SystemConfiguration::NSSConfiguration;
using SystemConfiguration::PAMPolicy;

const char* const DEFAULT_PAM_FILES[] = {"common-auth", "common-account", "common-password", "common-session"};

std::string nsswitchConf = DEFAULT_NSSWITCH_CONF;
std::string pamDirectory = DEFAULT_PAM_DIR;

enum class Action { Enable, Disable, Status };

struct LoginFile {
    std::string path;
    bool nss = false;
    std::string original;
    LoginState state = LoginState::Off;
    std::string refusal;      // set: the file is left as it is
    bool changed = false;
    std::string replacement;  // the model's text after the edit
};

std::string ReadWhole(const std::string& path)
{
    struct stat status;
    if (::stat(path.c_str(), &status) != 0) {
        throw LoginEditRefused(std::string("cannot read it: ") + std::strerror(errno));
    }
    if (!S_ISREG(status.st_mode)) {
        throw LoginEditRefused("it is not a regular file");
    }
    std::ifstream in(path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.is_open() || in.bad()) {
        throw LoginEditRefused(std::string("cannot read it: ") + std::strerror(errno ? errno : EIO));
    }
    return text;
}

// The name-service model keeps only the databases it knows: a line of any
// other database (gshadow, sudoers, ...) would vanish from the rewritten
// file. Such lines are carried over as they stand, after the model's text,
// so that no lookup the operator set up is lost.
std::string LinesTheModelDrops(const std::string& text)
{
    std::string kept;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string name, service;
        if (!(words >> name) || name[0] == '#' || !(words >> service)) {
            continue;
        }
        name.pop_back();
        try {
            SystemConfiguration::NSSDatabase known(name);
        } catch (const SystemConfiguration::InvalidDatabaseException&) {
            kept += line + "\n";
        }
    }
    return kept;
}

std::string LinesTheModelDrops(const PAMPolicy&, const std::string&) { return ""; }
std::string LinesTheModelDrops(const NSSConfiguration&, const std::string& text) { return LinesTheModelDrops(text); }

template <typename Model>
void Examine(LoginFile& file, Model model, Action action, const LoginModules& modules)
{
    std::istringstream in(file.original);
    try {
        in >> model;
    } catch (const std::exception& e) {
        throw LoginEditRefused(std::string("the model refuses it: ") + e.what());
    }
    file.state = GetLoginState(model, modules);
    if (action != Action::Status) {
        file.changed = action == Action::Enable ? EnableLogins(model, modules) : DisableLogins(model, modules);
        std::ostringstream out;
        out << model;
        file.replacement = out.str() + LinesTheModelDrops(model, file.original);
    }
}

LoginFile Prepare(const std::string& path, bool nss, Action action, const LoginModules& modules)
{
    LoginFile file;
    file.path = path;
    file.nss = nss;
    try {
        file.original = ReadWhole(path);
        if (nss) {
            Examine(file, NSSConfiguration(), action, modules);
        } else {
            Examine(file, PAMPolicy(path), action, modules);
        }
    } catch (const LoginEditRefused& e) {
        file.refusal = e.what();
    }
    return file;
}

// The stream replaces the file a link names rather than the link, keeps its
// mode, and removes its temporary file on every failure.
void Replace(const std::string& path, const std::string& text)
{
    orvane::authentication::AtomicFileStream stream(path.c_str(), std::ios::out | std::ios::trunc | std::ios::binary);
    stream << text;
    stream.Commit();
}

LoginModules DirectoryModules()
{
    std::unique_ptr<orvane::authentication::ActiveDirectoryStore> store = CreateDirectoryStore();
    const orvane::authentication::ActiveDirectoryProvider& provider = *store->Provider();
    LoginModules modules{provider.PAMModule(), provider.PAMModuleParameters(), provider.NSSModule(),
                         provider.NSSModuleParameters()};
    CheckLoginModules(modules);
    return modules;
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

int Logins(const Invocation& call)
{
    const std::string& verb = call.arguments.operands[0];
    Action action = verb == "enable" ? Action::Enable : verb == "disable" ? Action::Disable : Action::Status;
    if (action == Action::Status && verb != "status") {
        throw UsageError("logins: unknown action '" + verb + "' (expected: enable, disable or status)");
    }
    std::vector<std::string> pamFiles = PamFiles(call.arguments.operands);

    // Only the active directory store may bring its users in; taking them
    // out, or looking, works whatever store is active, with the modules of
    // the directory plug-in that provider.conf names.
    std::string active;
    try {
        active = RecordedActiveStore();
    } catch (const std::exception& e) {
        if (action == Action::Enable) {
            throw;
        }
        active = std::string("unknown (") + e.what() + ")";
    }
    if (action == Action::Enable && active != DIRECTORY_STORE) {
        throw std::runtime_error("logins enable needs the active store to be '" + std::string(DIRECTORY_STORE) +
                                 "', not '" + active + "'; no file was changed");
    }
    LoginModules modules;
    try {
        modules = DirectoryModules();
    } catch (const LoginEditRefused& e) {
        throw std::runtime_error(std::string(e.what()) + "; no file was changed");
    }

    std::vector<LoginFile> files{Prepare(nsswitchConf, true, action, modules)};
    for (const std::string& path : pamFiles) {
        files.push_back(Prepare(path, false, action, modules));
    }
    size_t refused = 0;
    for (const LoginFile& file : files) {
        refused += file.refusal.empty() ? 0 : 1;
    }

    if (action == Action::Status) {
        call.out << "active store: " << active << "\nmodules: " << modules.nssModule << " (name-service switch), "
                 << modules.pamModule << " (PAM)\n";
        for (const LoginFile& file : files) {
            call.out << file.path << ": "
                     << (file.refusal.empty() ? LoginStateName(file.state) : "unknown: " + file.refusal) << '\n';
        }
        if (refused != 0) {
            throw std::runtime_error(std::to_string(refused) + " file(s) could not be examined");
        }
        return EXIT_OK;
    }

    // Enabling is all or nothing, so logins are never half on; disabling
    // takes the modules out of every file it can.
    const bool enable = action == Action::Enable;
    std::vector<const LoginFile*> written;
    try {
        for (const LoginFile& file : files) {
            if (file.refusal.empty() && file.changed && (!enable || refused == 0)) {
                Replace(file.path, file.replacement);
                written.push_back(&file);
            }
        }
    } catch (const std::exception& e) {
        if (enable) {
            for (const LoginFile* file : written) {
                Replace(file->path, file->original);
            }
            throw std::runtime_error(std::string(e.what()) + "; the files written before were restored");
        }
        throw;
    }
    for (const LoginFile& file : files) {
        call.out << file.path << ": ";
        if (!file.refusal.empty()) {
            call.out << "refused: " << file.refusal << '\n';
        } else if (!file.changed) {
            call.out << (enable ? "already on\n" : "already off\n");
        } else if (enable && refused != 0) {
            call.out << "not changed\n";
        } else {
            call.out << (enable ? "turned on\n" : "turned off\n");
        }
    }
    if (refused != 0) {
        throw std::runtime_error(std::to_string(refused) + " file(s) refused; " +
                                 (enable ? "no file was changed" : "logins are still on there"));
    }
    return EXIT_OK;
}

}  // namespace

void ApplyLoginFileSettings(const ParsedArguments& global)
{
    for (const char* name : {"nsswitch-conf", "pam-dir"}) {
        if (global.Has(name) && global.Value(name).empty()) {
            throw UsageError("--" + std::string(name) + " needs a path");
        }
    }
    nsswitchConf = global.Value("nsswitch-conf", DEFAULT_NSSWITCH_CONF);
    pamDirectory = global.Value("pam-dir", DEFAULT_PAM_DIR);
}

std::vector<Command> LoginCommands()
{
    return {
        {"logins", "enable|disable|status [<pam-file>...]", "let directory users log in, or stop them",
         "enable adds the name-service switch module of the active store's directory plug-in to the\n"
         "passwd, group and shadow lines (right after 'files'), and its PAM module with its\n"
         "parameters to the auth, account, password and session rules of the PAM files (default:\n"
         "common-auth, common-account, common-password, common-session in the --pam-dir directory;\n"
         "a name with a '/' is a path). auth and password: right after pam_unix.so, with\n"
         "'[success=N default=ignore]' reaching the rule pam_unix.so reaches on success (earlier jumps\n"
         "over it grow by one), or 'sufficient' when pam_unix.so is; account: last, with\n"
         "'[default=bad success=ok user_unknown=ignore]'; session: after pam_unix.so, 'optional'.\n"
         "Files are read and written back through the library's models (comments and layout become\n"
         "the models' own) and replaced atomically, keeping their mode; a file already in the wanted\n"
         "state is not touched. enable needs \"Active Directory\" to be the active store and changes no\n"
         "file when any file is refused (unreadable, an include line, no pam_unix.so to follow, ...).\n"
         "disable removes the modules from every file it can, restoring what the models wrote before\n"
         "enable. status prints per file: on, off or partly on.",
         {}, 1, SIZE_MAX, Logins},
    };
}

}  // namespace orvauthctl
