#include "common/SyslogRecorder.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <syslog.h>

namespace orvauth_test {
namespace {

std::mutex& RecorderMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::vector<LogLine>& Lines()
{
    static std::vector<LogLine> lines;
    return lines;
}

void Record(int priority, const char* format, va_list args)
{
    char buffer[4096];
    std::vsnprintf(buffer, sizeof buffer, format, args);
    std::lock_guard<std::mutex> guard(RecorderMutex());
    Lines().push_back(LogLine{LOG_PRI(priority), buffer});
}

}  // namespace

std::vector<LogLine> LoggedLines()
{
    std::lock_guard<std::mutex> guard(RecorderMutex());
    return Lines();
}

void ClearLoggedLines()
{
    std::lock_guard<std::mutex> guard(RecorderMutex());
    Lines().clear();
}

}  // namespace orvauth_test

extern "C" {

void vsyslog(int priority, const char* format, va_list args) { orvauth_test::Record(priority, format, args); }

void syslog(int priority, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    orvauth_test::Record(priority, format, args);
    va_end(args);
}

// A fortified build turns syslog() into this.
void __syslog_chk(int priority, int, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    orvauth_test::Record(priority, format, args);
    va_end(args);
}

}
