#include "adclient/AdcliProcess.h"

#include "adclient/BuildSettings.h"
#include "common/StatusError.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <ftw.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
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

class SpawnSetup {
public:
    SpawnSetup()
    {
        ::posix_spawn_file_actions_init(&actions);
        ::posix_spawnattr_init(&attributes);
    }
    ~SpawnSetup()
    {
        ::posix_spawn_file_actions_destroy(&actions);
        ::posix_spawnattr_destroy(&attributes);
    }
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
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

// adcli keeps a krb5.conf snippet in a directory under TMPDIR and removes it
// on exit; a child killed at its bound cannot, so every run gets a private
// TMPDIR that the plug-in removes afterwards.
class PrivateTemporaryDirectory {
public:
    PrivateTemporaryDirectory()
    {
        char pattern[] = "/tmp/adclient-XXXXXX";
        if (::mkdtemp(pattern) == nullptr) {
            Fail(ORVAUTH_STATUS_INTERNAL_ERROR);
        }
        path = pattern;
    }
    ~PrivateTemporaryDirectory() { ::nftw(path.c_str(), RemoveEntry, 8, FTW_DEPTH | FTW_PHYS); }
    std::string path;
};

}  // namespace

AdcliOutcome RunAdcli(const std::vector<std::string>& arguments, const char* secret,
                      std::chrono::milliseconds bound)
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
    std::string program = ADCLIENT_ADCLI_PATH;
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

    SpawnSetup setup;
    sigset_t none;
    sigset_t defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGCHLD);
    ::posix_spawn_file_actions_adddup2(&setup.actions, inputChild.Get(), 0);
    ::posix_spawn_file_actions_adddup2(&setup.actions, outputChild.Get(), 1);
    ::posix_spawn_file_actions_adddup2(&setup.actions, errorsChild.Get(), 2);
    ::posix_spawn_file_actions_addclosefrom_np(&setup.actions, 3);
    ::posix_spawnattr_setflags(&setup.attributes,
                               POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    ::posix_spawnattr_setpgroup(&setup.attributes, 0);
    ::posix_spawnattr_setsigmask(&setup.attributes, &none);
    ::posix_spawnattr_setsigdefault(&setup.attributes, &defaults);
    pid_t pid = 0;
    if (::posix_spawn(&pid, argv[0], &setup.actions, &setup.attributes, argv.data(), environment) != 0) {
        Fail(ORVAUTH_STATUS_INTERNAL_ERROR);
    }
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
