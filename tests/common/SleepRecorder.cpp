#include "common/SleepRecorder.h"

#include <mutex>

namespace orvauth_test {
namespace {

std::mutex& RecorderMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::vector<unsigned>& Calls()
{
    static std::vector<unsigned> calls;
    return calls;
}

}  // namespace

std::vector<unsigned> SleepCalls()
{
    std::lock_guard<std::mutex> guard(RecorderMutex());
    return Calls();
}

void ClearSleepCalls()
{
    std::lock_guard<std::mutex> guard(RecorderMutex());
    Calls().clear();
}

}  // namespace orvauth_test

extern "C" unsigned int sleep(unsigned int seconds)
{
    std::lock_guard<std::mutex> guard(orvauth_test::RecorderMutex());
    orvauth_test::Calls().push_back(seconds);
    return 0;
}
