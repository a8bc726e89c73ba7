#include "ThreadSeam.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <dlfcn.h>
#include <mutex>
#include <pthread.h>

namespace orvauth_test {
namespace {

std::atomic<int> failureCode{0};
// Never destroyed: a detached thread of the library may end while the
// program exits, and must not find these torn down.
std::mutex& runningMutex = *new std::mutex;
std::condition_variable& runningChanged = *new std::condition_variable;
int running = 0;

void Count(int change)
{
    std::lock_guard<std::mutex> guard(runningMutex);
    running += change;
    runningChanged.notify_all();
}

struct StartRecord {
    void* (*routine)(void*);
    void* argument;
};

void* RunCounted(void* pointer)
{
    const StartRecord record = *static_cast<StartRecord*>(pointer);
    delete static_cast<StartRecord*>(pointer);
    void* result = record.routine(record.argument);
    Count(-1);
    return result;
}

}  // namespace

void FailThreadCreation(int rc) { failureCode = rc; }

bool WaitForThreadsToEnd()
{
    std::unique_lock<std::mutex> lock(runningMutex);
    return runningChanged.wait_for(lock, std::chrono::seconds(10), [] { return running == 0; });
}

}  // namespace orvauth_test

extern "C" __attribute__((visibility("default"))) int pthread_create(pthread_t* thread, const pthread_attr_t* attributes,
                                                                    void* (*routine)(void*), void* argument)
{
    using Create = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);
    // The next definition after this program: a sanitizer's interceptor when
    // one is loaded, else the C library's.
    static const Create realCreate = reinterpret_cast<Create>(dlsym(RTLD_NEXT, "pthread_create"));
    if (int rc = orvauth_test::failureCode.load()) {
        return rc;
    }
    orvauth_test::Count(1);
    auto* record = new orvauth_test::StartRecord{routine, argument};
    const int rc = realCreate(thread, attributes, &orvauth_test::RunCounted, record);
    if (rc != 0) {
        delete record;
        orvauth_test::Count(-1);
    }
    return rc;
}
