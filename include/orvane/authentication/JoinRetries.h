// Joins retried where the caller can see them. A join the directory client
// answers with a status worth repeating (the directory may not know a new
// machine account yet, or is out of reach for a moment) is tried up to
// eight times, 30 seconds apart; an observer set here hears of each wait
// before it starts, so that a caller can tell its operator.
#pragma once

#include <orvane/authentication/Export.h>

#include <cstdint>
#include <functional>
#include <string>

namespace orvane {
namespace authentication {

struct JoinRetry {
    int attempt;           // the attempt that failed, from 1
    int attempts;          // attempts in all
    unsigned waitSeconds;  // the wait that starts now (after the last attempt too)
    std::uint32_t status;  // what the directory client answered
    std::string message;   // the exception's text that status gives (the client's reason when it gave one)
};

using JoinRetryObserver = std::function<void(const JoinRetry&)>;

// Sets the observer of every join in the process (an empty one: none).
// It is called on the joining thread, once per wait; what it throws is
// ignored.
ORVAUTH_API void SetJoinRetryObserver(JoinRetryObserver observer);

}  // namespace authentication
}  // namespace orvane
