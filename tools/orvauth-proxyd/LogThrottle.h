// A bound on how many lines of one kind the log gets: under attack the
// refusals would otherwise flood it. Lines over the bound are counted, and
// the count is logged once the window they fell in has ended.
#pragma once

#include <chrono>
#include <mutex>

namespace orvauth_proxyd {

class LogThrottle {
public:
    using Clock = std::chrono::steady_clock;

    LogThrottle(unsigned lines, std::chrono::seconds window) : lines(lines), window(window) {}

    // Whether a line may be written at now. When it may, suppressed is the
    // count of lines suppressed before it (then forgotten), else 0.
    bool Admit(unsigned long& suppressed, Clock::time_point now = Clock::now());
    // The lines suppressed in windows that have ended (then forgotten): for
    // a periodic report when no line comes to carry it.
    unsigned long Ended(Clock::time_point now = Clock::now());

    const unsigned lines;
    const std::chrono::seconds window;

private:
    std::mutex lock;
    Clock::time_point started{};
    unsigned written = 0;
    unsigned long suppressed = 0;
};

}  // namespace orvauth_proxyd
