// The two PAM backends: Debian's pam-auth-update, and the library's PAM
// model for files no such tool manages.
#include "logins/LoginBackend.h"
#include "base/BoundedProgram.h"

#include <SystemConfiguration/PAMPolicy.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <dirent.h>
#include <filesystem>
#include <iterator>
#include <ostream>
#include <sstream>
#include <unistd.h>

namespace orvane::host {
namespace {

const char* const PAM_AUTH_UPDATE = "/usr/sbin/pam-auth-update";
const char* const PROFILE_DIR = "/usr/share/pam-configs";
const char* const SYSTEM_PAM_DIR = "/etc/pam.d";
// This project's profile: pam_mkhomedir with a private mode (the
// distribution's profile leaves homes as the host's umask makes them).
const char* const HOME_PROFILE = "orvauth-mkhomedir";
const char* const HOME_MODULE = "pam_mkhomedir.so";
const char* const MANAGED_FILES[] = {"common-auth", "common-account", "common-password", "common-session",
                                     "common-session-noninteractive"};
constexpr std::chrono::seconds TOOL_BOUND{120};

bool HasWord(const std::string& text, const std::string& word)
{
    std::istringstream words(text);
    return std::any_of(std::istream_iterator<std::string>(words), std::istream_iterator<std::string>(),
                       [&](const std::string& w) { return w == word; });
}

void RunPamAuthUpdate(const std::vector<std::string>& arguments)
{
    try {
        RunHostProgram(PAM_AUTH_UPDATE, arguments);
    } catch (const std::exception& e) {
        throw std::runtime_error(std::string(e.what()) + "; the PAM files are as pam-auth-update left them");
    }
}

std::vector<std::pair<std::string, std::string>> ModelStates(const std::vector<std::string>& files,
                                                             const LoginModules& modules)
{
    std::vector<std::pair<std::string, std::string>> states;
    for (const std::string& path : files) {
        try {
            SystemConfiguration::PAMPolicy policy(path);
            std::istringstream in(ReadLoginFile(path));
            in >> policy;
            states.emplace_back(path, LoginStateName(GetLoginState(policy, modules)));
        } catch (const std::exception& e) {
            states.emplace_back(path, std::string("unknown: ") + e.what());
        }
    }
    return states;
}

class PamAuthUpdateBackend : public LoginBackend {
public:
    std::string Name() const override { return "pam-auth-update"; }

    std::vector<std::string> Files() const override
    {
        std::vector<std::string> files;
        for (const char* name : MANAGED_FILES) {
            files.push_back(std::string(SYSTEM_PAM_DIR) + "/" + name);
        }
        return files;
    }

    std::vector<std::pair<std::string, std::string>> State(const LoginModules& modules) const override
    {
        std::vector<std::string> files = Files();
        files.pop_back();  // the non-interactive sessions carry no directory module of their own
        return ModelStates(files, modules);
    }

    void Enable(const LoginModules& modules, LoginRecord& record, const std::function<void()>& save,
                std::ostream& out) override
    {
        std::string all;
        for (const std::string& path : Files()) {
            all += ReadLoginFile(path);
        }
        std::vector<std::string> wanted;
        if (!HasWord(all, modules.pamModule)) {
            wanted.push_back(ProfileNaming(modules.pamModule));
        }
        if (!HasWord(all, HOME_MODULE)) {
            if (::access((std::string(PROFILE_DIR) + "/" + HOME_PROFILE).c_str(), R_OK) != 0) {
                throw LoginEditRefused(std::string("the profile ") + HOME_PROFILE + " is not installed in " +
                                       PROFILE_DIR + " (it comes with liborvauthhost); no file was changed");
            }
            wanted.push_back(HOME_PROFILE);
        }
        if (wanted.empty()) {
            out << "pam-auth-update: " << modules.pamModule << " and " << HOME_MODULE << " are already on\n";
            return;
        }
        record.backend = Name();
        for (const std::string& path : Files()) {
            if (!record.files.count(path)) {
                std::string text = ReadLoginFile(path);
                record.files[path] = FileRecord{text, text, {}};
            }
        }
        for (const std::string& profile : wanted) {
            if (std::find(record.profiles.begin(), record.profiles.end(), profile) == record.profiles.end()) {
                record.profiles.push_back(profile);
            }
        }
        save();
        std::vector<std::string> arguments{"--enable"};
        arguments.insert(arguments.end(), wanted.begin(), wanted.end());
        RunPamAuthUpdate(arguments);
        for (const std::string& path : Files()) {
            record.files[path].after = ReadLoginFile(path);
        }
        save();
        out << "pam-auth-update: profiles turned on:";
        for (const std::string& profile : wanted) {
            out << ' ' << profile;
        }
        out << '\n';
    }

    void Disable(const LoginModules&, const LoginRecord& record, std::ostream& out) override
    {
        if (record.profiles.empty()) {
            out << "pam-auth-update: logins enable turned no profile on; the PAM files stay as they are\n";
            return;
        }
        std::vector<std::string> arguments{"--disable"};
        arguments.insert(arguments.end(), record.profiles.begin(), record.profiles.end());
        RunPamAuthUpdate(arguments);
        bool same = true;
        for (const auto& file : record.files) {
            same = same && ReadLoginFile(file.first) == file.second.before;
        }
        out << "pam-auth-update: profiles turned off:";
        for (const std::string& profile : record.profiles) {
            out << ' ' << profile;
        }
        out << (same ? "; the PAM files are as they were before logins enable\n"
                     : "; the PAM files were changed by others since logins enable: only these profiles were "
                       "taken out\n");
    }

private:
    // The distribution's profile that brings the module in.
    static std::string ProfileNaming(const std::string& module)
    {
        std::unique_ptr<DIR, int (*)(DIR*)> directory(::opendir(PROFILE_DIR), ::closedir);
        for (dirent* entry; directory && (entry = ::readdir(directory.get())) != nullptr;) {
            std::string name = entry->d_name;
            if (name[0] != '.' && name != HOME_PROFILE) {
                try {
                    if (HasWord(ReadLoginFile(std::string(PROFILE_DIR) + "/" + name), module)) {
                        return name;
                    }
                } catch (const LoginEditRefused&) {
                }
            }
        }
        throw LoginEditRefused("no pam-auth-update profile in " + std::string(PROFILE_DIR) + " brings " + module +
                               " in (install the package of the directory's PAM module); no file was changed");
    }
};

// Files no tool manages: edited through the library's PAM model.
class PamModelBackend : public LoginBackend {
public:
    explicit PamModelBackend(std::vector<std::string> files) : files(std::move(files)) {}

    std::string Name() const override { return "PAM model"; }
    std::vector<std::string> Files() const override { return files; }
    std::vector<std::pair<std::string, std::string>> State(const LoginModules& modules) const override
    {
        return ModelStates(files, modules);
    }

    void Enable(const LoginModules& modules, LoginRecord& record, const std::function<void()>& save,
                std::ostream& out) override
    {
        // Every file is examined before any is written: all or nothing.
        std::vector<std::pair<std::string, std::string>> changes;
        std::string refusals;
        for (const std::string& path : files) {
            try {
                const std::string text = ReadLoginFile(path);
                SystemConfiguration::PAMPolicy policy(path);
                std::istringstream in(text);
                try {
                    in >> policy;
                } catch (const std::exception& e) {
                    throw LoginEditRefused(std::string("the model refuses it: ") + e.what());
                }
                if (EnableLogins(policy, modules)) {
                    std::ostringstream written;
                    written << policy;
                    changes.emplace_back(path, written.str());
                    if (!record.files.count(path)) {
                        record.files[path] = FileRecord{text, written.str(), {"pam"}};
                    }
                    record.files[path].after = written.str();
                    record.files[path].added = {"pam"};
                }
            } catch (const LoginEditRefused& e) {
                refusals += "\n  " + path + ": " + e.what();
            }
        }
        if (!refusals.empty()) {
            throw LoginEditRefused("PAM files refused:" + refusals + "\nno file was changed");
        }
        record.backend = Name();
        save();
        for (const auto& change : changes) {
            ReplaceLoginFile(change.first, change.second);
        }
        for (const std::string& path : files) {
            auto done = std::find_if(changes.begin(), changes.end(), [&](const auto& c) { return c.first == path; });
            out << path << ": " << (done == changes.end() ? "already on" : "turned on") << '\n';
        }
    }

    void Disable(const LoginModules& modules, const LoginRecord& record, std::ostream& out) override
    {
        for (const auto& file : record.files) {
            if (std::find(files.begin(), files.end(), file.first) == files.end()) {
                continue;  // named files only: the others stay as they are
            }
            GiveBack(file.first, file.second, [&](const std::string& current) {
                SystemConfiguration::PAMPolicy policy(file.first);
                std::istringstream in(current);
                in >> policy;
                DisableLogins(policy, modules);
                std::ostringstream written;
                written << policy;
                return written.str();
            }, out);
        }
    }

private:
    std::vector<std::string> files;
};

}  // namespace

// The child dies with the tool and is killed at the bound.
void RunHostProgram(const std::string& program, const std::vector<std::string>& arguments)
{
    std::vector<std::string> argv{program};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    const std::vector<std::string> environment{"PATH=/usr/sbin:/usr/bin:/sbin:/bin", "DEBIAN_FRONTEND=noninteractive"};
    orvauth_base::ProgramOutcome outcome;
    if (const int error = orvauth_base::RunBoundedProgram(argv, &environment, TOOL_BOUND, outcome)) {
        throw std::runtime_error("cannot run " + program + ": " + std::strerror(error));
    }
    std::string text = outcome.Printed();
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) {
        text.pop_back();
    }
    if (outcome.timedOut || outcome.status != 0) {
        std::string command = program.substr(program.rfind('/') + 1);
        for (const std::string& argument : arguments) {
            command += " " + argument;
        }
        throw std::runtime_error("'" + command + "' " +
                                 (outcome.timedOut ? "did not finish within 120 s"
                                                   : "failed (status " + std::to_string(outcome.status) + ")") +
                                 (text.empty() ? "" : ": " + text));
    }
}

std::unique_ptr<LoginBackend> ChooseLoginBackend(const std::string& pamDir, const std::vector<std::string>& files)
{
    const std::string marker = "pam-auth-update";
    // The same directory by any spelling ("/etc/pam.d/", a link to it).
    std::error_code ignored;
    const bool systemDirectory = std::filesystem::weakly_canonical(pamDir, ignored) ==
                                 std::filesystem::weakly_canonical(SYSTEM_PAM_DIR, ignored);
    if (systemDirectory && ::access(PAM_AUTH_UPDATE, X_OK) == 0) {
        try {
            if (ReadLoginFile(std::string(SYSTEM_PAM_DIR) + "/common-auth").find(marker) != std::string::npos) {
                return std::make_unique<PamAuthUpdateBackend>();
            }
        } catch (const LoginEditRefused&) {
        }
    }
    return std::make_unique<PamModelBackend>(files);
}

}  // namespace orvane::host
