#include "LogThrottle.h"

#include <utility>

namespace orvauth_proxyd {

bool LogThrottle::Admit(unsigned long& before, Clock::time_point now)
{
    std::lock_guard<std::mutex> guard(lock);
    if (now - started >= window) {
        started = now;
        written = 0;
    }
    before = 0;
    if (written >= lines) {
        ++suppressed;
        return false;
    }
    ++written;
    before = std::exchange(suppressed, 0);
    return true;
}

unsigned long LogThrottle::Ended(Clock::time_point now)
{
    std::lock_guard<std::mutex> guard(lock);
    return now - started >= window ? std::exchange(suppressed, 0) : 0;
}

}  // namespace orvauth_proxyd
