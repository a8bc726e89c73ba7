// Holds a POSIX mutex for the lifetime of a scope.
#pragma once

#include <pthread.h>

namespace orvane {
namespace authentication {

class MutexLock {
public:
    explicit MutexLock(pthread_mutex_t& mutex) : mutex(mutex) { pthread_mutex_lock(&mutex); }
    ~MutexLock() { pthread_mutex_unlock(&mutex); }
    MutexLock(const MutexLock&) = delete;
    MutexLock& operator=(const MutexLock&) = delete;

private:
    pthread_mutex_t& mutex;
};

}  // namespace authentication
}  // namespace orvane
