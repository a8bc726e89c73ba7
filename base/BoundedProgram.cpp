#include "base/BoundedProgram.h"
#include "base/Descriptor.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace orvauth_base {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Output beyond this is read and dropped: the programs' answers are small,
// and a runaway one must not grow the host process.
constexpr std::size_t OUTPUT_LIMIT = 64 * 1024;
// From SIGTERM to SIGKILL at the bound: time for the program to remove what
// it keeps in temporary files.
constexpr milliseconds TERM_GRACE{200};
// How long a program killed with SIGKILL may take to end; after that it is
// left unreaped rather than waited for.
constexpr milliseconds KILL_BOUND{800};
// How long output is still read once the program has ended: what it left
// behind holding its pipes is killed, and their ends close as it dies.
constexpr milliseconds DRAIN_BOUND{100};

struct Pipe {
    Descriptor read, write;
    bool Open()
    {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) != 0) {
            return false;
        }
        read.Reset(ends[0]);
        write.Reset(ends[1]);
        return true;
    }
};

std::vector<char*> Pointers(const std::vector<std::string>& words)
{
    std::vector<char*> pointers;
    for (const std::string& word : words) {
        pointers.push_back(const_cast<char*>(word.c_str()));
    }
    pointers.push_back(nullptr);
    return pointers;
}

// Everything the child needs, prepared before the fork: between fork and
// exec a multi-threaded process may only make async-signal-safe calls.
struct ChildSetup {
    char* const* argv;
    char* const* environment;
    int input, output, errors, failure;
    pid_t parent;
};

// Why the child could not become the program goes to the failure pipe,
// which a successful exec closes.
[[noreturn]] void ReportFailure(int failure)
{
    const int error = errno;
    (void)!::write(failure, &error, sizeof error);
    ::_exit(127);
}

[[noreturn]] void BecomeProgram(const ChildSetup& setup)
{
    // The child dies with the thread that started it, which waits for it
    // before returning. A parent already gone before the prctl took effect
    // shows as a changed parent.
    if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != setup.parent) {
        ::_exit(127);
    }
    ::setpgid(0, 0);  // its own group: helpers it starts are killed with it
    // Ignored signals stay ignored across exec and the mask is inherited:
    // the program starts with the defaults, whatever the host process set.
    struct sigaction standard {};
    standard.sa_handler = SIG_DFL;
    for (int number = 1; number < NSIG; ++number) {
        ::sigaction(number, &standard, nullptr);
    }
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    // Copies above the standard three first: a host process that runs with
    // one of those closed may have got a pipe end in its place.
    const int input = ::fcntl(setup.input, F_DUPFD, 3);
    const int output = ::fcntl(setup.output, F_DUPFD, 3);
    const int errors = ::fcntl(setup.errors, F_DUPFD, 3);
    if (input < 0 || output < 0 || errors < 0 || ::dup2(input, 0) < 0 || ::dup2(output, 1) < 0 ||
        ::dup2(errors, 2) < 0 || ::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) != 0) {
        ReportFailure(setup.failure);
    }
    ::execve(setup.argv[0], setup.argv, setup.environment);
    ReportFailure(setup.failure);
}

// A write to a pipe whose reader is gone raises SIGPIPE at the writing
// thread. The signal is blocked in this thread for the write and taken back
// if the write raised it, so that the host process's dispositions and its
// other threads are left alone.
ssize_t WriteWithoutSigpipe(int fd, const iovec* parts, int count)
{
    sigset_t sigpipe, previous, pending;
    sigemptyset(&sigpipe);
    sigaddset(&sigpipe, SIGPIPE);
    ::pthread_sigmask(SIG_BLOCK, &sigpipe, &previous);
    const bool pendingBefore = ::sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE);
    const ssize_t written = ::writev(fd, parts, count);
    const int error = errno;
    if (written < 0 && error == EPIPE && !pendingBefore) {
        const timespec now{0, 0};
        while (::sigtimedwait(&sigpipe, nullptr, &now) < 0 && errno == EINTR) {
        }
    }
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    errno = error;
    return written;
}

// The parent's side of a run: the secret still to write, the output still
// to read, and whether the child has ended.
class Supervision {
public:
    Supervision(pid_t child, int pidfd, const char* secret, Pipe& input, Pipe& output, Pipe& errors, Pipe& failure,
                ProgramOutcome& outcome)
        : child(child), pidfd(pidfd), secret(secret), secretSize(secret ? std::strlen(secret) : 0), input(input.write),
          output(output.read), errors(errors.read), failure(failure.read), outcome(outcome)
    {
        if (secret == nullptr) {
            this->input.Close();
        }
    }

    // Serves the pipes until the child has ended (or, with drained, until
    // its output is closed) or until passes. True when it got there.
    bool Serve(Clock::time_point until, bool drained = false)
    {
        for (;;) {
            if (drained ? output.Get() < 0 && errors.Get() < 0 : ended) {
                return true;
            }
            const auto left = std::chrono::ceil<milliseconds>(until - Clock::now()).count();
            if (left <= 0) {
                return false;
            }
            pollfd fds[] = {{input.Get(), POLLOUT, 0},  {output.Get(), POLLIN, 0}, {errors.Get(), POLLIN, 0},
                            {failure.Get(), POLLIN, 0}, {ended ? -1 : pidfd, POLLIN, 0}};
            const int ready = ::poll(fds, 5, static_cast<int>(left));
            if (ready < 0 && errno != EINTR) {
                return false;
            }
            if (ready > 0) {
                if (fds[0].revents != 0) {
                    Write();
                }
                Read(output, outcome.output, fds[1].revents);
                Read(errors, outcome.errors, fds[2].revents);
                ReadFailure(fds[3].revents);
                ended = ended || fds[4].revents != 0;
            }
            if (ended) {
                input.Close();  // nobody reads it any more
            }
        }
    }

    void KillGroup(int number) const { ::kill(-child, number); }

    // The child's end, once Serve saw it: fills in the outcome.
    void Reap()
    {
        int status = 0;
        pid_t done;
        while ((done = ::waitpid(child, &status, WNOHANG)) < 0 && errno == EINTR) {
        }
        if (done == child) {
            outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            outcome.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
        }
    }

    bool ended = false;
    int startError = 0;

private:
    void Write()
    {
        const std::size_t total = secretSize + 1;  // the secret and a line break
        char lineBreak = '\n';
        iovec parts[2];
        int count = 0;
        if (written < secretSize) {
            parts[count++] = {const_cast<char*>(secret) + written, secretSize - written};
        }
        parts[count++] = {&lineBreak, 1};
        const ssize_t done = WriteWithoutSigpipe(input.Get(), parts, count);
        if (done >= 0) {
            written += static_cast<std::size_t>(done);
        }
        // A program that stops reading early fails on its own; its status says why.
        if (written == total || (done < 0 && errno != EAGAIN && errno != EINTR)) {
            input.Close();
        }
    }

    static void Read(Descriptor& from, std::string& into, short events)
    {
        if (events == 0) {
            return;
        }
        char buffer[4096];
        const ssize_t got = ::read(from.Get(), buffer, sizeof buffer);
        if (got > 0 && into.size() < OUTPUT_LIMIT) {
            into.append(buffer, std::min(static_cast<std::size_t>(got), OUTPUT_LIMIT - into.size()));
        } else if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR)) {
            from.Close();
        }
    }

    void ReadFailure(short events)
    {
        if (events != 0) {
            int error = 0;
            if (::read(failure.Get(), &error, sizeof error) == sizeof error) {
                startError = error;
            }
            failure.Close();
        }
    }

    const pid_t child;
    const int pidfd;
    const char* const secret;
    const std::size_t secretSize;
    std::size_t written = 0;
    Descriptor &input, &output, &errors, &failure;
    ProgramOutcome& outcome;
};

}  // namespace

int RunBoundedProgram(const std::vector<std::string>& argv, const std::vector<std::string>* environment,
                      std::chrono::milliseconds bound, ProgramOutcome& outcome, const char* secret)
{
    outcome = ProgramOutcome();
    const Clock::time_point deadline = Clock::now() + bound;
    const std::vector<char*> arguments = Pointers(argv);
    const std::vector<char*> variables = environment ? Pointers(*environment) : std::vector<char*>();
    Pipe input, output, errors, failure;
    if (!input.Open() || !output.Open() || !errors.Open() || !failure.Open()) {
        return errno;
    }
    // The parent's ends never block: poll says when they are ready.
    for (const int fd : {input.write.Get(), output.read.Get(), errors.read.Get()}) {
        ::fcntl(fd, F_SETFL, O_NONBLOCK);
    }
    const ChildSetup setup{arguments.data(), environment ? variables.data() : environ, input.read.Get(),
                           output.write.Get(), errors.write.Get(), failure.write.Get(), ::getpid()};
    const pid_t child = ::fork();
    if (child < 0) {
        return errno;
    }
    if (child == 0) {
        BecomeProgram(setup);
    }
    ::setpgid(child, child);  // also here: a kill at the bound must not precede the child's own call
    input.read.Close();
    output.write.Close();
    errors.write.Close();
    failure.write.Close();

    Descriptor pidfd;
    // glibc 2.36 declares pidfd_open without C linkage: the system call itself.
    pidfd.Reset(static_cast<int>(::syscall(SYS_pidfd_open, child, 0)));
    if (pidfd.Get() < 0) {  // cannot watch it: it does not run unwatched
        const int error = errno;
        ::kill(-child, SIGKILL);
        while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
        }
        return error;
    }
    Supervision run(child, pidfd.Get(), secret, input, output, errors, failure, outcome);
    if (!run.Serve(deadline)) {
        outcome.timedOut = true;
        run.KillGroup(SIGTERM);
        if (!run.Serve(Clock::now() + TERM_GRACE)) {
            run.KillGroup(SIGKILL);
            run.Serve(Clock::now() + KILL_BOUND);
        }
    }
    if (run.ended) {
        // The unreaped child still holds its group's id, so this reaches only
        // what it left running there.
        run.KillGroup(SIGKILL);
        run.Serve(Clock::now() + DRAIN_BOUND, true);
        run.Reap();
    }
    if (run.startError != 0) {
        outcome = ProgramOutcome();
    }
    return run.startError;
}

}  // namespace orvauth_base
