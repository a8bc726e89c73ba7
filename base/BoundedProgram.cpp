#include "base/BoundedProgram.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace orvauth_base {
namespace {

std::vector<char*> Pointers(const std::vector<std::string>& words)
{
    std::vector<char*> pointers;
    for (const std::string& word : words) {
        pointers.push_back(const_cast<char*>(word.c_str()));
    }
    pointers.push_back(nullptr);
    return pointers;
}

// Everything the child does between fork and exec is async-signal-safe. Why
// it could not become the program goes to failure, which exec closes.
[[noreturn]] void BecomeProgram(pid_t parent, int output, int failure, char* const* argv, char* const* environment)
{
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) {
        ::_exit(127);
    }
    const int nothing = ::open("/dev/null", O_RDONLY);
    if (nothing >= 0 && ::dup2(nothing, 0) >= 0 && ::dup2(output, 1) >= 0 && ::dup2(output, 2) >= 0) {
        ::execve(argv[0], argv, environment);
    }
    const int error = errno;
    (void)!::write(failure, &error, sizeof error);
    ::_exit(127);
}

// The errno value the child sent before exiting, or 0 once it runs the program.
int StartFailure(int failure)
{
    int error = 0;
    ssize_t count;
    while ((count = ::read(failure, &error, sizeof error)) < 0 && errno == EINTR) {
    }
    return count == sizeof error ? error : 0;
}

}  // namespace

int RunBoundedProgram(const std::vector<std::string>& argv, const std::vector<std::string>* environment,
                      std::chrono::milliseconds bound, ProgramOutcome& outcome)
{
    outcome = ProgramOutcome();
    const std::vector<char*> arguments = Pointers(argv);
    const std::vector<char*> variables = environment ? Pointers(*environment) : std::vector<char*>();
    int pipeEnds[2], failure[2];
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0) {
        return errno;
    }
    if (::pipe2(failure, O_CLOEXEC) != 0) {
        const int error = errno;
        ::close(pipeEnds[0]);
        ::close(pipeEnds[1]);
        return error;
    }
    const pid_t parent = ::getpid();
    const pid_t child = ::fork();
    if (child == 0) {
        BecomeProgram(parent, pipeEnds[1], failure[1], arguments.data(), environment ? variables.data() : environ);
    }
    const int forkError = child < 0 ? errno : 0;
    ::close(pipeEnds[1]);
    ::close(failure[1]);
    const int startError = child < 0 ? forkError : StartFailure(failure[0]);
    ::close(failure[0]);
    if (startError != 0) {
        ::close(pipeEnds[0]);
        if (child > 0) {
            while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
            }
        }
        return startError;
    }
    const auto deadline = std::chrono::steady_clock::now() + bound;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd ready{pipeEnds[0], POLLIN, 0};
        const int polled = left.count() > 0 ? ::poll(&ready, 1, static_cast<int>(left.count())) : 0;
        if (polled < 0 && errno == EINTR) {
            continue;
        }
        if (polled <= 0) {
            outcome.timedOut = polled == 0;
            ::kill(child, SIGKILL);
            break;
        }
        char buffer[4096];
        const ssize_t count = ::read(pipeEnds[0], buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            break;  // the program closed its output: it has ended or is ending
        }
        outcome.output.append(buffer, static_cast<size_t>(count));
    }
    ::close(pipeEnds[0]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return 0;
}

}  // namespace orvauth_base
