#include "RateLimiter.h"

namespace orvauth_proxyd {

namespace {

constexpr std::chrono::minutes WINDOW{1};

void Forget(std::deque<RateLimiter::Clock::time_point>& times, RateLimiter::Clock::time_point now)
{
    while (!times.empty() && now - times.front() >= WINDOW) {
        times.pop_front();
    }
}

}  // namespace

bool RateLimiter::Admit(const std::string& key, Clock::time_point now)
{
    std::lock_guard<std::mutex> guard(lock);
    // Certificates seen once must not stay in memory for ever.
    if (now - lastSweep >= WINDOW) {
        for (auto entry = recent.begin(); entry != recent.end();) {
            Forget(entry->second, now);
            entry = entry->second.empty() ? recent.erase(entry) : std::next(entry);
        }
        lastSweep = now;
    }
    auto& times = recent[key];
    Forget(times, now);
    if (times.size() >= limit) {
        return false;
    }
    times.push_back(now);
    return true;
}

void RateLimiter::SetLimit(unsigned perMinute)
{
    std::lock_guard<std::mutex> guard(lock);
    limit = perMinute;
}

}  // namespace orvauth_proxyd
