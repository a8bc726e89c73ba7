#include "common/SleepRecorder.h"

#include <mutex>

namespace orvauth_test {
namespace {
std::mutex mutex;
std::vector<unsigned> calls;
}  // namespace

std::vector<unsigned> SleepCalls()
{
    std::lock_guard<std::mutex> guard(mutex);
    return calls;
}

void ClearSleepCalls()
{
    std::lock_guard<std::mutex> guard(mutex);
    calls.clear();
}

}  // namespace orvauth_test

extern "C" unsigned int sleep(unsigned int seconds)
{
    std::lock_guard<std::mutex> guard(orvauth_test::mutex);
    orvauth_test::calls.push_back(seconds);
    return 0;
}
