// This executable defines syslog (and the fortified __syslog_chk), exported
// so that the library and the plug-ins it loads call it instead of libc's:
// every line still goes to the system log through vsyslog, and the problems
// are kept for LoggedProblems(). The tool's own fortification must not turn
// syslog.h's declaration into an inline definition here.
#undef _FORTIFY_SOURCE
#include "LogCapture.h"

#include "base/LogText.h"

#include <cstdarg>
#include <cstdio>
#include <deque>
#include <mutex>
#include <string>
#include <syslog.h>
#include <utility>

extern "C" void __vsyslog_chk(int priority, int flag, const char* format, va_list arguments);

namespace orvauthctl {
namespace {

constexpr size_t KEPT_LINES = 4;
constexpr size_t LINE_BYTES = 1024;

std::mutex problemsLock;
std::deque<std::string>& Problems()
{
    static std::deque<std::string> problems;  // plug-ins may log from their threads
    return problems;
}

void Keep(int priority, const char* format, va_list arguments)
{
    if (LOG_PRI(priority) > LOG_WARNING) {
        return;
    }
    char line[LINE_BYTES];
    std::vsnprintf(line, sizeof line, format, arguments);
    std::string text(line);
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) {
        text.pop_back();
    }
    // One line on the terminal, escaped as in the system log.
    text = orvauth_base::LogText(text);
    std::lock_guard<std::mutex> guard(problemsLock);
    std::deque<std::string>& problems = Problems();
    problems.push_back(std::move(text));
    if (problems.size() > KEPT_LINES) {
        problems.pop_front();
    }
}

}  // namespace

void CopyLogToStandardError() { openlog(nullptr, LOG_PERROR, LOG_USER); }

std::vector<std::string> LoggedProblems()
{
    std::lock_guard<std::mutex> guard(problemsLock);
    return std::vector<std::string>(Problems().begin(), Problems().end());
}

}  // namespace orvauthctl

extern "C" __attribute__((visibility("default"))) void syslog(int priority, const char* format, ...)
{
    va_list arguments, copy;
    va_start(arguments, format);
    va_copy(copy, arguments);
    vsyslog(priority, format, arguments);
    orvauthctl::Keep(priority, format, copy);
    va_end(copy);
    va_end(arguments);
}

extern "C" __attribute__((visibility("default"))) void __syslog_chk(int priority, int flag, const char* format, ...)
{
    va_list arguments, copy;
    va_start(arguments, format);
    va_copy(copy, arguments);
    __vsyslog_chk(priority, flag, format, arguments);
    orvauthctl::Keep(priority, format, copy);
    va_end(copy);
    va_end(arguments);
}
