#include "adclient/AdcliProcess.h"

#include "adclient/BuildSettings.h"
#include "common/StatusError.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <dirent.h>
#include <ftw.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <syslog.h>
#include <unistd.h>

using orvauth_plugin::Fail;

namespace adclient {

namespace {

using Clock = std::chrono::steady_clock;

// Output beyond this is dropped: adcli's answers are a few hundred bytes, and
// a runaway child must not grow the host process.
constexpr std::size_t OUTPUT_LIMIT = 64 * 1024;

class Descriptor {
public:
    Descriptor() = default;
    explicit Descriptor(int fd) : fd(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() { Close(); }
    void Reset(int value) { Close(); fd = value; }
    void Close()
    {
        if (fd >= 0) {
            ::close(fd);
            fd = -1;
        }
    }
    int Get() const { return fd; }

private:
    int fd = -1;
};

// The secret goes through a socket rather than a pipe so that a child that
// exits without reading it cannot raise SIGPIPE in the host process.
bool SendAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t sent = ::send(fd, data, size, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) {
            continue;
        }
        if (sent <= 0) {
            return false;
        }
        data += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return true;
}

void Collect(std::vector<pollfd>& fds, std::string* sinks[2], Clock::time_point deadline, bool& timedOut)
{
    char buffer[4096];
    while (fds[0].fd >= 0 || fds[1].fd >= 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            timedOut = true;
            return;
        }
        const int ready = ::poll(fds.data(), fds.size(), static_cast<int>(left));
        if (ready < 0 && errno != EINTR) {
            timedOut = true;  // cannot watch the child any more: treat it as hung
            return;
        }
        for (int i = 0; i < 2 && ready > 0; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) {
                continue;
            }
            const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
            if (got > 0) {
                if (sinks[i]->size() < OUTPUT_LIMIT) {
                    sinks[i]->append(buffer, static_cast<std::size_t>(got));
                }
            } else if (got == 0 || errno != EINTR) {
                fds[i].fd = -1;
            }
        }
    }
}

int Reap(pid_t pid, Clock::time_point deadline, bool& timedOut)
{
    int status = 0;
    for (;;) {
        if (!timedOut && Clock::now() >= deadline) {
            timedOut = true;
        }
        if (timedOut) {
            ::kill(-pid, SIGKILL);  // its own process group: helpers it started go too
            ::kill(pid, SIGKILL);
        }
        const pid_t done = ::waitpid(pid, &status, timedOut ? 0 : WNOHANG);
        if (done == pid) {
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        if (done < 0 && errno != EINTR) {
            return -1;
        }
        if (done == 0) {
            ::usleep(10 * 1000);
        }
    }
}

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

// Everything the child needs, prepared before fork: between fork and exec
// a multi-threaded process may only make async-signal-safe calls.
struct ChildSetup {
    const char* program;
    char* const* argv;
    char* const* environment;
    int input, output, errors;
    pid_t parent;
};

[[noreturn]] void BecomeChild(const ChildSetup& setup)
{
    // The child dies with the thread that started it, which waits for it
    // (or kills it at the bound) before returning: if the host process is
    // killed meanwhile, no adcli goes on to change the directory on behalf of
    // a caller that is gone. A parent already gone before the prctl took
    // effect shows as a changed parent.
    if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != setup.parent) {
        ::_exit(127);
    }
    ::setpgid(0, 0);  // its own process group: helpers it starts are killed with it
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::signal(SIGPIPE, SIG_DFL);
    ::signal(SIGCHLD, SIG_DFL);
    if (::dup2(setup.input, 0) < 0 || ::dup2(setup.output, 1) < 0 || ::dup2(setup.errors, 2) < 0) {
        ::_exit(127);
    }
    ::close_range(3, ~0U, 0);
    ::execve(setup.program, setup.argv, setup.environment);
    ::_exit(127);
}

}  // namespace

AdcliOutcome RunAdcli(const std::vector<std::string>& arguments, const char* secret,
                      std::chrono::milliseconds bound)
{
    return RunProgram(ADCLIENT_ADCLI_PATH, arguments, secret, bound);
}

AdcliOutcome RunProgram(const std::string& programPath, const std::vector<std::string>& arguments,
                        const char* secret, std::chrono::milliseconds bound)
{
    const Clock::time_point deadline = Clock::now() + bound;
    int input[2];
    int output[2];
    int errors[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, input) != 0) {
        Fail(ORVAUTH_STATUS_INTERNAL_ERROR);
    }
    Descriptor inputParent(input[0]), inputChild(input[1]);
    if (::pipe2(output, O_CLOEXEC) != 0) {
        Fail(ORVAUTH_STATUS_INTERNAL_ERROR);
    }
    Descriptor outputParent(output[0]), outputChild(output[1]);
    if (::pipe2(errors, O_CLOEXEC) != 0) {
        Fail(ORVAUTH_STATUS_INTERNAL_ERROR);
    }
    Descriptor errorsParent(errors[0]), errorsChild(errors[1]);

    std::vector<char*> argv;
    std::string program = programPath;
    argv.push_back(&program[0]);
    std::vector<std::string> copies = arguments;
    for (std::string& argument : copies) {
        argv.push_back(&argument[0]);
    }
    argv.push_back(nullptr);
    // A fixed environment: nothing of the host process's (credential cache
    // names, configuration overrides) leaks into the child, and messages stay
    // in the untranslated form the classifier knows.
    PrivateTemporaryDirectory temporary;
    char locale[] = "LC_ALL=C";
    char path[] = "PATH=/usr/sbin:/usr/bin:/sbin:/bin";
    std::string temporaryDirectory = "TMPDIR=" + temporary.path;
    char* environment[] = {locale, path, &temporaryDirectory[0], nullptr};

    const ChildSetup setup{argv[0], argv.data(), environment, inputChild.Get(), outputChild.Get(),
                           errorsChild.Get(), ::getpid()};
    const pid_t pid = ::fork();
    if (pid < 0) {
        Fail(ORVAUTH_STATUS_INTERNAL_ERROR);
    }
    if (pid == 0) {
        BecomeChild(setup);
    }
    ::setpgid(pid, pid);  // also here, so that a kill at the bound cannot precede the child's own call
    inputChild.Close();
    outputChild.Close();
    errorsChild.Close();

    AdcliOutcome outcome;
    if (secret != nullptr) {
        // A child that stops reading early fails on its own; its status says why.
        if (SendAll(inputParent.Get(), secret, std::strlen(secret))) {
            SendAll(inputParent.Get(), "\n", 1);
        }
    }
    inputParent.Close();

    std::vector<pollfd> fds{{outputParent.Get(), POLLIN, 0}, {errorsParent.Get(), POLLIN, 0}};
    std::string* sinks[2] = {&outcome.output, &outcome.diagnostics};
    Collect(fds, sinks, deadline, outcome.timedOut);
    outcome.exitStatus = Reap(pid, deadline, outcome.timedOut);
    if (outcome.timedOut) {
        outcome.exitStatus = -1;
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
