// Reading an account's password: never from the command line or the
// environment, only from the terminal (without echo) or, when asked, from
// standard input.
#pragma once

#include <orvane/authentication/JORVRecords.h>

#include <string>

namespace orvauthctl {

// Every block is wiped before it is handed back, so a buffer the text
// outgrew leaves nothing behind either, and the text is wiped when it goes.
using SecretText = orvane::authentication::SecretString;

// A password, never copied.
class Secret {
public:
    Secret() = default;
    Secret(const Secret&) = delete;
    Secret& operator=(const Secret&) = delete;

    SecretText& Text() { return text; }
    const char* CString() const { return text.c_str(); }

private:
    SecretText text;
};

// fromStdin: the first line of standard input, without its line end; a
// terminal is refused (UsageError), since it would echo what is typed.
// Otherwise standard input must be a terminal: prompts on standard error
// and reads one line with echo turned off (restored also when a signal
// ends the process meanwhile). UsageError when there is no terminal,
// std::runtime_error when reading fails or the line holds a NUL byte (the
// library would see only the text before it).
void ReadPassword(Secret& password, const std::string& account, bool fromStdin);

}  // namespace orvauthctl
