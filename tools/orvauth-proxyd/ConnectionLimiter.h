// Who may open a connection to the service, so that one source of
// unauthenticated connections cannot take every slot: a bound on the
// connections open from one address (an IPv6 /64) and on the handshakes it
// begins a second, and a share of all connections kept for clients that
// completed their handshake.
#pragma once

#include <chrono>
#include <cstddef>
#include <mutex>
#include <string>
#include <unordered_map>

namespace orvauth_proxyd {

struct ConnectionLimits {
    std::size_t connections = 256;        // open at once
    std::size_t handshaking = 192;        // of those, still in the handshake
    std::size_t perAddress = 64;          // open at once from one address
    unsigned handshakesPerSecond = 50;    // begun from one address, in bursts of twice that
};

class ConnectionLimiter {
public:
    using Clock = std::chrono::steady_clock;
    enum class Verdict { ADMITTED, FULL, HANDSHAKES_FULL, ADDRESS_FULL, ADDRESS_TOO_FAST };

    explicit ConnectionLimiter(ConnectionLimits limits) : limits(limits) {}

    // Counts a connection from address as open and in its handshake when
    // admitted.
    Verdict Admit(const std::string& address, Clock::time_point now = Clock::now());
    void Handshaken();
    void Closed(const std::string& address, bool handshaken);

    const ConnectionLimits limits;

private:
    struct Source {
        std::size_t open = 0;
        double tokens = 0;  // handshakes it may begin now
        Clock::time_point refilled;
    };
    void Refill(Source& source, Clock::time_point now) const;

    std::mutex lock;
    std::size_t open = 0, handshaking = 0;
    std::unordered_map<std::string, Source> sources;
    Clock::time_point lastSweep{};
};

// Text for the log: why a connection was refused.
std::string Described(ConnectionLimiter::Verdict verdict, const ConnectionLimits& limits);

}  // namespace orvauth_proxyd
