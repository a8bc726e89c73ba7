// Reading an account's password: never from the command line or the
// environment, only from the terminal (without echo) or, when asked, from
// standard input.
#pragma once

#include <string>

namespace orvauthctl {

// A password that is wiped from memory when it goes.
class Secret {
public:
    Secret() = default;
    ~Secret();
    Secret(const Secret&) = delete;
    Secret& operator=(const Secret&) = delete;

    std::string& Text() { return text; }
    const char* CString() const { return text.c_str(); }

private:
    std::string text;
};

// fromStdin: the first line of standard input, without its line end.
// Otherwise standard input must be a terminal: prompts on standard error
// and reads one line with echo turned off (restored also when a signal
// ends the process meanwhile). UsageError when there is no terminal,
// std::runtime_error when reading fails.
void ReadPassword(Secret& password, const std::string& account, bool fromStdin);

}  // namespace orvauthctl
