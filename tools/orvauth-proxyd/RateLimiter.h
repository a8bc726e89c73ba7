// A bound on account operations per client certificate: what one stolen
// certificate can do in a minute.
#pragma once

#include <chrono>
#include <deque>
#include <map>
#include <mutex>
#include <string>

namespace orvauth_proxyd {

class RateLimiter {
public:
    using Clock = std::chrono::steady_clock;

    explicit RateLimiter(unsigned perMinute) : limit(perMinute) {}

    // Counts one operation for key at now; false (and not counted) when key
    // already had limit operations in the minute before now.
    bool Admit(const std::string& key, Clock::time_point now = Clock::now());

    void SetLimit(unsigned perMinute);

private:
    std::mutex lock;
    unsigned limit;
    std::map<std::string, std::deque<Clock::time_point>> recent;
    Clock::time_point lastSweep{};
};

}  // namespace orvauth_proxyd
