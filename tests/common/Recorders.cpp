#include "common/Recorders.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <syslog.h>

namespace orvauth_test {
namespace {
std::mutex mutex;
std::vector<LogLine> lines;
std::vector<unsigned> sleeps;
}  // namespace

std::vector<LogLine> LoggedLines()
{
    std::lock_guard<std::mutex> guard(mutex);
    return lines;
}

void ClearLoggedLines()
{
    std::lock_guard<std::mutex> guard(mutex);
    lines.clear();
}

std::vector<unsigned> SleepCalls()
{
    std::lock_guard<std::mutex> guard(mutex);
    return sleeps;
}

void ClearSleepCalls()
{
    std::lock_guard<std::mutex> guard(mutex);
    sleeps.clear();
}

}  // namespace orvauth_test

extern "C" {

unsigned int sleep(unsigned int seconds)
{
    std::lock_guard<std::mutex> guard(orvauth_test::mutex);
    orvauth_test::sleeps.push_back(seconds);
    return 0;
}

void vsyslog(int priority, const char* format, va_list args)
{
    char buffer[4096];
    std::vsnprintf(buffer, sizeof buffer, format, args);
    std::lock_guard<std::mutex> guard(orvauth_test::mutex);
    orvauth_test::lines.push_back({LOG_PRI(priority), buffer});
}

void syslog(int priority, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    vsyslog(priority, format, args);
    va_end(args);
}

// A fortified build turns syslog() into this.
void __syslog_chk(int priority, int, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    vsyslog(priority, format, args);
    va_end(args);
}

}
