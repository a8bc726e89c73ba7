// Test seam: the test program defines syslog() itself, so every line the
// library logs is recorded here instead of reaching the system log.
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

}  // namespace orvauth_test
