// Test seam: sleep() is defined by the test program, so the library's join
// retries return at once and the requested seconds are recorded.
#pragma once

#include <vector>

namespace orvauth_test {

std::vector<unsigned> SleepCalls();
void ClearSleepCalls();

}  // namespace orvauth_test
