#include <orvane/authentication/ThreadUtil.h>

#include <orvane/authentication/Configuration.h>
#include <orvane/authentication/Exceptions.h>

#include <memory>
#include <utility>

namespace orvane {
namespace authentication {

namespace {

// The thread owns its function: destroying it here, on the thread, releases
// whatever the call holds (possibly the last reference to the plug-in).
void* RunScheduledFunction(void* argument)
{
    std::unique_ptr<std::function<void()>> function(static_cast<std::function<void()>*>(argument));
    (*function)();
    return nullptr;
}

}  // namespace

void OrvauthThreadUtil::ScheduleThread(std::function<void()> function)
{
    std::unique_ptr<std::function<void()>> heapCopy(new std::function<void()>(std::move(function)));
    pthread_t thread;
    int rc = pthread_create(&thread, nullptr, &RunScheduledFunction, heapCopy.get());
    if (rc != 0) {
        throw ThreadErrorException("pthread_create failed. RC=" + string_cast<int>(rc));
    }
    heapCopy.release();  // now the thread's
    pthread_detach(thread);
}

}  // namespace authentication
}  // namespace orvane
