#include "adclient/AdcliProcess.h"

#include "base/Descriptor.h"
#include "base/LogText.h"
#include "common/StatusError.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <dirent.h>
#include <ftw.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sstream>
#include <syslog.h>
#include <unistd.h>

using orvauth_base::Descriptor;
using orvauth_plugin::Fail;

namespace adclient {

namespace {

int RemoveEntry(const char* path, const struct stat*, int type, struct FTW*)
{
    return type == FTW_DP ? ::rmdir(path) : ::unlink(path);
}

constexpr char SCRATCH_PARENT[] = "/tmp";
constexpr char SCRATCH_PREFIX[] = "adclient-";

// adcli keeps a krb5.conf snippet in a directory under TMPDIR and removes it
// on exit; a child killed at its bound cannot, so every run gets a private
// TMPDIR that the plug-in removes afterwards. The run holds an exclusive
// lock on it, so that a directory nobody holds is known to be abandoned by a
// process that was killed, and is removed by the next one (see
// RemoveAbandonedScratchDirectories).
class PrivateTemporaryDirectory {
public:
    PrivateTemporaryDirectory()
    {
        for (int attempt = 0; attempt < 3; ++attempt) {
            std::string pattern = std::string(SCRATCH_PARENT) + "/" + SCRATCH_PREFIX + "XXXXXX";
            if (::mkdtemp(&pattern[0]) == nullptr) {
                break;
            }
            lock.Reset(::open(pattern.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            struct stat held, named;
            // Another process's clean-up may have taken it between mkdtemp and
            // the lock: only a directory still at its name is ours.
            if (lock.Get() >= 0 && ::flock(lock.Get(), LOCK_EX) == 0 && ::fstat(lock.Get(), &held) == 0 &&
                ::lstat(pattern.c_str(), &named) == 0 && held.st_ino == named.st_ino && held.st_dev == named.st_dev) {
                path = pattern;
                return;
            }
            lock.Close();
        }
        Fail(ORVAUTH_STATUS_INTERNAL_ERROR);
    }
    ~PrivateTemporaryDirectory() { ::nftw(path.c_str(), RemoveEntry, 8, FTW_DEPTH | FTW_PHYS); }
    std::string path;

private:
    Descriptor lock;
};

}  // namespace

AdcliOutcome AdcliRunner::Succeed(AdcliCommand command, const std::vector<std::string>& arguments,
                                  const char* secret, std::chrono::milliseconds bound)
{
    AdcliOutcome outcome = Run(arguments, secret, bound);
    const std::string containerOption = "--domain-ou=";
    std::string askedContainer;
    for (const std::string& argument : arguments) {
        if (argument.rfind(containerOption, 0) == 0) {
            askedContainer = argument.substr(containerOption.size());
        }
    }
    const std::uint32_t status =
        ClassifyAdcliResult(command, outcome.status, outcome.timedOut, outcome.errors, askedContainer);
    if (status != ORVAUTH_STATUS_SUCCESS) {
        // adcli --verbose's steps (" * ...") stay out of the log line.
        std::string reason;
        if (outcome.timedOut) {
            reason = "no answer within " + std::to_string(bound.count() / 1000) + " s";
            if (std::find(arguments.begin(), arguments.end(), "--use-ldaps") != arguments.end()) {
                reason += "; adcli pings the controller on TCP port 389 even with --use-ldaps, and adcli 0.9.1 "
                          "can wait without end once that ping fails: let the host reach the controller's TCP "
                          "port 389";
            }
        }
        std::istringstream lines(outcome.timedOut ? "" : outcome.errors);
        for (std::string line; std::getline(lines, line);) {
            if (line.rfind(" * ", 0) != 0) {
                reason += line + "\n";
            }
        }
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

AdcliOutcome AdcliProgram::Run(const std::vector<std::string>& arguments, const char* secret,
                               std::chrono::milliseconds bound)
{
    std::vector<std::string> argv{path};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    // A fixed environment: nothing of the host process's (credential cache
    // names, configuration overrides) leaks into the child, and messages stay
    // in the untranslated form the classifier knows.
    PrivateTemporaryDirectory temporary;
    std::vector<std::string> environment{"LC_ALL=C", "PATH=/usr/sbin:/usr/bin:/sbin:/bin",
                                         "TMPDIR=" + temporary.path};
    // adcli 0.9.1 pings the controller on TCP 389 even with --use-ldaps
    // (an anonymous read of the NetLogon attribute). Where that port drops
    // packets, libldap's connect (its NETWORK_TIMEOUT, which ldap.conf(5)
    // lets the environment set) gives up on the ping in a second rather than
    // in TCP's two minutes of retries. adcli carries on over LDAPS after a
    // failed first ping, but a later one (joins and renewals ping again) sends
    // it into a wait on an uninitialised time-out, which only the bound ends:
    // see Succeed's log line.
    if (std::find(arguments.begin(), arguments.end(), "--use-ldaps") != arguments.end()) {
        environment.push_back("LDAPNETWORK_TIMEOUT=1");
    }
    AdcliOutcome outcome;
    if (const int error = orvauth_base::RunBoundedProgram(argv, &environment, bound, outcome, secret)) {
        syslog(LOG_ERR, "adclient: cannot run %s: %s", path.c_str(), std::strerror(error));
        Fail(ORVAUTH_STATUS_INTERNAL_ERROR);
    }
    return outcome;
}

void RemoveAbandonedScratchDirectories()
{
    DIR* parent = ::opendir(SCRATCH_PARENT);
    if (parent == nullptr) {
        return;
    }
    const std::size_t prefixLength = sizeof SCRATCH_PREFIX - 1;
    while (const dirent* entry = ::readdir(parent)) {
        const std::string name = entry->d_name;
        if (name.size() != prefixLength + 6 || name.compare(0, prefixLength, SCRATCH_PREFIX) != 0) {
            continue;
        }
        const std::string path = std::string(SCRATCH_PARENT) + "/" + name;
        Descriptor directory(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        struct stat status;
        // Only this user's directories that no running adcli holds.
        if (directory.Get() < 0 || ::fstat(directory.Get(), &status) != 0 || status.st_uid != ::geteuid() ||
            ::flock(directory.Get(), LOCK_EX | LOCK_NB) != 0) {
            continue;
        }
        if (::nftw(path.c_str(), RemoveEntry, 8, FTW_DEPTH | FTW_PHYS) == 0) {
            syslog(LOG_INFO, "adclient: removed %s, left behind by an adcli run that was interrupted",
                   path.c_str());
        }
    }
    ::closedir(parent);
}

std::string DetailValue(const std::string& output, const std::string& key)
{
    std::string::size_type start = 0;
    while (start < output.size()) {
        std::string::size_type end = output.find('\n', start);
        if (end == std::string::npos) {
            end = output.size();
        }
        const std::string line = output.substr(start, end - start);
        const std::string::size_type equals = line.find(" = ");
        if (equals != std::string::npos && line.compare(0, equals, key) == 0 && equals == key.size()) {
            return line.substr(equals + 3);
        }
        start = end + 1;
    }
    return "";
}

}  // namespace adclient
