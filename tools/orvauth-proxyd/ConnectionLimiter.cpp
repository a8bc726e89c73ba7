#include "ConnectionLimiter.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cstring>

namespace orvauth_proxyd {

namespace {

// An IPv6 host has a /64 of its own: its addresses count as one source.
// (An IPv4 address mapped into IPv6 stays itself.)
std::string SourceOf(const std::string& address)
{
    in6_addr bytes{};
    if (inet_pton(AF_INET6, address.c_str(), &bytes) != 1 || IN6_IS_ADDR_V4MAPPED(&bytes)) {
        return address;
    }
    std::memset(&bytes.s6_addr[8], 0, 8);
    char prefix[INET6_ADDRSTRLEN] = {};
    inet_ntop(AF_INET6, &bytes, prefix, sizeof prefix);
    return std::string(prefix) + "/64";
}

}  // namespace

void ConnectionLimiter::Refill(Source& source, Clock::time_point now) const
{
    const double burst = 2.0 * limits.handshakesPerSecond;
    const std::chrono::duration<double> elapsed = now - source.refilled;
    source.tokens = std::min(burst, source.tokens + elapsed.count() * limits.handshakesPerSecond);
    source.refilled = now;
}

ConnectionLimiter::Verdict ConnectionLimiter::Admit(const std::string& address, Clock::time_point now)
{
    std::lock_guard<std::mutex> guard(lock);
    // An address is remembered while it has connections open or has not
    // earned its whole burst back: a client connecting one at a time
    // cannot start afresh.
    if (now - lastSweep >= std::chrono::seconds(1)) {
        for (auto at = sources.begin(); at != sources.end();) {
            Refill(at->second, now);
            const bool idle = at->second.open == 0 && at->second.tokens >= 2.0 * limits.handshakesPerSecond;
            at = idle ? sources.erase(at) : std::next(at);
        }
        lastSweep = now;
    }
    if (open >= limits.connections) {
        return Verdict::FULL;
    }
    if (handshaking >= limits.handshaking) {
        return Verdict::HANDSHAKES_FULL;
    }
    const std::string key = SourceOf(address);
    const auto found = sources.find(key);
    Source& source = found != sources.end() ? found->second
                                            : sources.emplace(key, Source{0, 2.0 * limits.handshakesPerSecond, now})
                                                  .first->second;
    Refill(source, now);
    if (source.open >= limits.perAddress) {
        return Verdict::ADDRESS_FULL;
    }
    if (source.tokens < 1) {
        return Verdict::ADDRESS_TOO_FAST;
    }
    source.tokens -= 1;
    ++source.open;
    ++open;
    ++handshaking;
    return Verdict::ADMITTED;
}

void ConnectionLimiter::Handshaken()
{
    std::lock_guard<std::mutex> guard(lock);
    --handshaking;
}

void ConnectionLimiter::Closed(const std::string& address, bool handshaken)
{
    std::lock_guard<std::mutex> guard(lock);
    --open;
    if (!handshaken) {
        --handshaking;
    }
    const auto found = sources.find(SourceOf(address));
    if (found != sources.end() && found->second.open > 0) {
        --found->second.open;
    }
}

std::string Described(ConnectionLimiter::Verdict verdict, const ConnectionLimits& limits)
{
    switch (verdict) {
    case ConnectionLimiter::Verdict::FULL:
        return std::to_string(limits.connections) + " connections are open";
    case ConnectionLimiter::Verdict::HANDSHAKES_FULL:
        return std::to_string(limits.handshaking) + " connections are in their TLS handshake";
    case ConnectionLimiter::Verdict::ADDRESS_FULL:
        return std::to_string(limits.perAddress) + " connections from it are open";
    case ConnectionLimiter::Verdict::ADDRESS_TOO_FAST:
        return "it began more than " + std::to_string(limits.handshakesPerSecond) + " TLS handshakes a second";
    case ConnectionLimiter::Verdict::ADMITTED:
        break;
    }
    return "admitted";
}

}  // namespace orvauth_proxyd
