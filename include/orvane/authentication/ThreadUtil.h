// Background provider calls: a detached thread per call and the completion
// record its caller waits on with a time-out.
#pragma once

#include <orvane/authentication/Export.h>

#include <functional>
#include <pthread.h>

namespace orvane {
namespace authentication {

class Exception;

class ORVAUTH_API OrvauthThreadUtil {
public:
    // Runs function on a new detached thread, which owns (and destroys) its
    // own copy of it. Throws ThreadErrorException when no thread can start.
    static void ScheduleThread(std::function<void()> function);
};

// Shared by one background call and the thread waiting for it; always owned
// through a shared pointer, so whichever side finishes last frees it.
class ORVAUTH_API RequestState {
public:
    RequestState();
    ~RequestState();
    RequestState(const RequestState&) = delete;
    RequestState& operator=(const RequestState&) = delete;

    // Reports completion, once; error is null on success and otherwise
    // copied (the caller keeps ownership).
    void Done(const Exception* error);
    // Returns when the call succeeded, rethrows what it reported with its
    // exact class, or throws ProviderCallTimedOutException once seconds
    // have passed (measured on the monotonic clock; negative counts as 0).
    void WaitResult(int seconds);

private:
    bool finished;
    Exception* error;
    pthread_mutex_t mutex;
    pthread_cond_t condition;
};

}  // namespace authentication
}  // namespace orvane
