// Test seams: the test program defines syslog() and sleep() itself, so every
// line the library logs is recorded here instead of reaching the system log,
// and the join retries return at once with the requested seconds recorded.
#pragma once

#include <string>
#include <vector>

namespace orvauth_test {

struct LogLine {
    int priority;
    std::string text;
    bool operator==(const LogLine& other) const { return priority == other.priority && text == other.text; }
};

std::vector<LogLine> LoggedLines();
void ClearLoggedLines();

std::vector<unsigned> SleepCalls();
void ClearSleepCalls();

}  // namespace orvauth_test
