// The front end's bounds as a table: which connections are admitted, per
// address and in all (the live scenario shows the bound on refusal lines).
#include "ConnectionLimiter.h"

#include <gtest/gtest.h>

using namespace orvauth_proxyd;
using Verdict = ConnectionLimiter::Verdict;

TEST(ConnectionLimits, AnAddressGetsItsShareAndHandshakenClientsKeepTheirs)
{
    // 5 in all, 3 of them handshaking, 2 per address, 1 handshake a second
    // per address in bursts of 2.
    ConnectionLimiter limiter({5, 3, 2, 1});
    const auto start = ConnectionLimiter::Clock::now();
    const struct {
        char action;  // Admit, Handshaken, Closed handshaken, closed before
        const char* address;
        int millisecond;
        Verdict verdict;
    } steps[] = {
        {'A', "a", 0, Verdict::ADMITTED},          {'A', "a", 0, Verdict::ADMITTED},
        {'A', "a", 0, Verdict::ADDRESS_FULL},      {'A', "b", 0, Verdict::ADMITTED},
        {'A', "c", 0, Verdict::HANDSHAKES_FULL},   {'H', "a", 0, {}},
        {'H', "a", 0, {}},                         {'A', "c", 0, Verdict::ADMITTED},
        {'H', "c", 0, {}},                         {'A', "d", 0, Verdict::ADMITTED},
        {'A', "e", 0, Verdict::FULL},              {'C', "a", 0, {}},
        {'A', "a", 500, Verdict::ADDRESS_TOO_FAST}, {'A', "a", 1000, Verdict::ADMITTED},
        {'c', "a", 1000, {}},                      {'C', "a", 1000, {}},
        {'A', "a", 1100, Verdict::ADDRESS_TOO_FAST}, {'A', "a", 5000, Verdict::ADMITTED},
        {'H', "a", 5000, {}},                      {'A', "a", 5000, Verdict::ADMITTED},
    };
    for (const auto& step : steps) {
        const auto now = start + std::chrono::milliseconds(step.millisecond);
        if (step.action == 'A') {
            EXPECT_EQ(step.verdict, limiter.Admit(step.address, now)) << step.address << " at " << step.millisecond;
        } else if (step.action == 'H') {
            limiter.Handshaken();
        } else {
            limiter.Closed(step.address, step.action == 'C');
        }
    }
    ConnectionLimiter byPrefix({5, 5, 1, 1});  // an IPv6 /64 is one source
    EXPECT_EQ(Verdict::ADMITTED, byPrefix.Admit("2001:db8::1"));
    EXPECT_EQ(Verdict::ADDRESS_FULL, byPrefix.Admit("2001:db8::ffff:2"));
    EXPECT_EQ(Verdict::ADMITTED, byPrefix.Admit("::ffff:192.0.2.1"));
    EXPECT_EQ(Verdict::ADMITTED, byPrefix.Admit("::ffff:192.0.2.2"));
}
