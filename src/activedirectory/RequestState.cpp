#include "activedirectory/MutexLock.h"

#include <orvane/authentication/ThreadUtil.h>

#include <orvane/authentication/Configuration.h>
#include <orvane/authentication/Exceptions.h>

#include <cerrno>
#include <ctime>
#include <memory>

namespace orvane {
namespace authentication {

RequestState::RequestState() : finished(false), error(nullptr)
{
    pthread_mutex_init(&mutex, nullptr);
    // Deadlines are measured on the monotonic clock so that a wall-clock
    // step (NTP, an administrator) neither cuts a wait short nor stretches
    // it. glibc accepts this attribute unconditionally.
    pthread_condattr_t attributes;
    pthread_condattr_init(&attributes);
    pthread_condattr_setclock(&attributes, CLOCK_MONOTONIC);
    pthread_cond_init(&condition, &attributes);
    pthread_condattr_destroy(&attributes);
}

RequestState::~RequestState()
{
    pthread_mutex_destroy(&mutex);
    pthread_cond_destroy(&condition);
    delete error;
}

void RequestState::Done(const Exception* reported)
{
    MutexLock lock(mutex);
    finished = true;
    if (reported != nullptr) {
        Exception* copy = reported->Clone();
        delete error;
        error = copy;
    }
    pthread_cond_signal(&condition);
}

void RequestState::WaitResult(int seconds)
{
    if (seconds < 0) {
        seconds = 0;
    }
    timespec deadline;
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += seconds;

    std::unique_ptr<Exception> reported;
    {
        MutexLock lock(mutex);
        while (!finished) {
            int rc = pthread_cond_timedwait(&condition, &mutex, &deadline);
            if (rc == ETIMEDOUT) {
                throw ProviderCallTimedOutException();
            }
            if (rc != 0) {
                throw ThreadErrorException("pthread_cond_timedwait failed. RC=" + string_cast<int>(rc));
            }
        }
        if (error == nullptr) {
            return;
        }
        // Rethrown from a private copy once the lock is released; the
        // stored one stays with the record.
        reported.reset(error->Clone());
    }
    reported->Throw();
}

}  // namespace authentication
}  // namespace orvane
