#include "Password.h"

#include "Arguments.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <iostream>
#include <stdexcept>
#include <string.h>
#include <termios.h>
#include <unistd.h>

namespace orvauthctl {
namespace {

const int TERMINATING_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// The terminal settings to put back if a signal ends the prompt.
struct termios savedTerminal;

extern "C" void RestoreTerminalAndDie(int signalNumber)
{
    tcsetattr(STDIN_FILENO, TCSADRAIN, &savedTerminal);
    signal(signalNumber, SIG_DFL);
    raise(signalNumber);
}

// Echo stays off for the lifetime of this object.
class EchoOff {
public:
    EchoOff()
    {
        if (tcgetattr(STDIN_FILENO, &savedTerminal) != 0) {
            throw std::runtime_error(std::string("cannot read the terminal settings: ") + std::strerror(errno));
        }
        struct sigaction restore {};
        restore.sa_handler = RestoreTerminalAndDie;
        sigemptyset(&restore.sa_mask);
        for (size_t i = 0; i < sizeof TERMINATING_SIGNALS / sizeof *TERMINATING_SIGNALS; ++i) {
            sigaction(TERMINATING_SIGNALS[i], &restore, &previous[i]);
        }
        struct termios quiet = savedTerminal;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        quiet.c_lflag |= ECHONL;  // the Enter key still moves to the next line
        tcsetattr(STDIN_FILENO, TCSADRAIN, &quiet);
    }

    ~EchoOff()
    {
        tcsetattr(STDIN_FILENO, TCSADRAIN, &savedTerminal);
        for (size_t i = 0; i < sizeof TERMINATING_SIGNALS / sizeof *TERMINATING_SIGNALS; ++i) {
            sigaction(TERMINATING_SIGNALS[i], &previous[i], nullptr);
        }
    }

    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;

private:
    struct sigaction previous[sizeof TERMINATING_SIGNALS / sizeof *TERMINATING_SIGNALS];
};

// Byte by byte, so nothing beyond the line is taken from the terminal and
// no copy of the password stays behind in a stream buffer.
bool ReadLine(int fd, SecretText& line)
{
    char c;
    while (true) {
        ssize_t n = read(fd, &c, 1);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            throw std::runtime_error(std::string("cannot read the password: ") + std::strerror(errno));
        }
        if (n == 0) {
            return !line.empty();
        }
        if (c == '\n') {
            return true;
        }
        line += c;
    }
}

}  // namespace

void ReadPassword(Secret& password, const std::string& account, bool fromStdin)
{
    SecretText& text = password.Text();
    // Straight onto the heap: a short text kept inside the string object
    // would leave its first bytes there once the text outgrew it.
    text.reserve(1024);
    if (fromStdin) {
        if (isatty(STDIN_FILENO)) {
            throw UsageError("--password-stdin does not read a terminal, which would show the password: "
                             "leave the option out to be prompted without echo");
        }
        if (!ReadLine(STDIN_FILENO, text)) {
            throw std::runtime_error("no password on standard input");
        }
        if (!text.empty() && text.back() == '\r') {
            text.pop_back();
        }
    } else {
        if (!isatty(STDIN_FILENO)) {
            throw UsageError("standard input is not a terminal: pass the password with --password-stdin");
        }
        std::cerr << "Password for " << account << ": " << std::flush;
        EchoOff quiet;
        ReadLine(STDIN_FILENO, text);
    }
    if (text.find('\0') != SecretText::npos) {
        throw std::runtime_error("the password holds a NUL byte");
    }
}

}  // namespace orvauthctl
