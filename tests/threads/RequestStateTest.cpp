// The completion record a background query and its waiting caller share, and
// the detached threads those queries run on.
#include "ThreadSeam.h"

#include <orvane/authentication/Exceptions.h>
#include <orvane/authentication/ThreadUtil.h>

#include <boost/make_shared.hpp>
#include <boost/shared_ptr.hpp>
#include <climits>
#include <condition_variable>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <thread>
#include <typeinfo>

using namespace orvane::authentication;

namespace {

// A one-shot latch with a value, for handing results between threads.
template <typename T>
class Handoff {
public:
    void Set(T newValue)
    {
        std::lock_guard<std::mutex> guard(mutex);
        value = newValue;
        isSet = true;
        changed.notify_all();
    }
    T Get()
    {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [this] { return isSet; });
        return value;
    }

private:
    std::mutex mutex;
    std::condition_variable changed;
    bool isSet = false;
    T value{};
};

// Runs wait and returns the exception it threw, cloned; null if none.
template <typename Wait>
std::unique_ptr<Exception> CaughtBy(Wait wait)
{
    try {
        wait();
    } catch (const Exception& error) {
        return std::unique_ptr<Exception>(error.Clone());
    }
    return nullptr;
}

TEST(RequestStateTest, UnfinishedRecordTimesOutAtOnceForZeroOrNegativeSeconds)
{
    for (int seconds : {0, -1, INT_MIN}) {
        SCOPED_TRACE(seconds);
        auto state = boost::make_shared<RequestState>();
        std::unique_ptr<Exception> error = CaughtBy([&] { state->WaitResult(seconds); });
        ASSERT_NE(error, nullptr);
        EXPECT_EQ(typeid(*error), typeid(ProviderCallTimedOutException));
        EXPECT_STREQ(error->what(), "Provider call timed out.");
        EXPECT_EQ(error->Code(), 0u);
    }
}

TEST(RequestStateTest, FinishedRecordAnswersWithoutWaiting)
{
    auto state = boost::make_shared<RequestState>();
    state->Done(nullptr);
    EXPECT_NO_THROW(state->WaitResult(0));
    EXPECT_NO_THROW(state->WaitResult(-3));
}

// The waiter must get the worker's exception with its own class, code and
// text, every time it asks, long after the original is gone.
TEST(RequestStateTest, ReportedExceptionIsRethrownWithItsExactClass)
{
    std::unique_ptr<Exception> reported[] = {
        std::unique_ptr<Exception>(new CallNotImplementedException()),
        std::unique_ptr<Exception>(new ConnectionRefusedException()),
        std::unique_ptr<Exception>(new ThreadErrorException("cause")),
        std::unique_ptr<Exception>(new IOError("Unable to open 'x': gone")),
        std::unique_ptr<Exception>(new Exception(0x1234, "plain")),
    };
    for (auto& original : reported) {
        SCOPED_TRACE(original->what());
        auto state = boost::make_shared<RequestState>();
        state->Done(original.get());
        const std::string text = original->what();
        const unsigned long code = original->Code();
        const std::type_info& type = typeid(*original);
        original.reset();

        for (int attempt = 0; attempt < 2; ++attempt) {
            std::unique_ptr<Exception> error = CaughtBy([&] { state->WaitResult(0); });
            ASSERT_NE(error, nullptr);
            EXPECT_EQ(typeid(*error), type);
            EXPECT_EQ(error->what(), text);
            EXPECT_EQ(error->Code(), code);
        }
    }
}

TEST(RequestStateTest, WaiterWakesWhenAnotherThreadReportsCompletion)
{
    auto state = boost::make_shared<RequestState>();
    std::thread worker([state] { state->Done(nullptr); });
    EXPECT_NO_THROW(state->WaitResult(60));
    worker.join();

    auto failed = boost::make_shared<RequestState>();
    std::thread failing([failed] {
        ConnectionInvalidException error;
        failed->Done(&error);
    });
    EXPECT_THROW(failed->WaitResult(60), ConnectionInvalidException);
    failing.join();
}

// A worker that reports after its caller gave up holds the last reference:
// the record is freed on the worker, and nothing touches the caller.
TEST(RequestStateTest, CompletionAfterTimeOutIsHarmless)
{
    for (bool withError : {false, true}) {
        SCOPED_TRACE(withError);
        auto state = boost::make_shared<RequestState>();
        EXPECT_THROW(state->WaitResult(0), ProviderCallTimedOutException);

        Handoff<bool> release;
        Handoff<long> useCountAtDone;
        OrvauthThreadUtil::ScheduleThread([state, withError, &release, &useCountAtDone]() mutable {
            release.Get();
            useCountAtDone.Set(state.use_count());
            ConnectionRefusedException error;
            state->Done(withError ? &error : nullptr);
            state.reset();
        });
        state.reset();  // the caller has gone
        release.Set(true);
        EXPECT_EQ(useCountAtDone.Get(), 1);
        ASSERT_TRUE(orvauth_test::WaitForThreadsToEnd());
    }
}

TEST(ScheduleThreadTest, RunsTheFunctionOnItsOwnThreadAndDestroysItThere)
{
    Handoff<std::thread::id> ranOn;
    Handoff<std::thread::id> destroyedOn;
    std::shared_ptr<int> token(new int(0), [&destroyedOn](int* pointer) {
        delete pointer;
        destroyedOn.Set(std::this_thread::get_id());
    });
    Handoff<bool> start;
    OrvauthThreadUtil::ScheduleThread([token, &start, &ranOn] {
        start.Get();
        ranOn.Set(std::this_thread::get_id());
    });
    token.reset();  // the thread's copy is now the last one
    start.Set(true);

    std::thread::id worker = ranOn.Get();
    EXPECT_NE(worker, std::this_thread::get_id());
    EXPECT_EQ(destroyedOn.Get(), worker);
    ASSERT_TRUE(orvauth_test::WaitForThreadsToEnd());
}

TEST(ScheduleThreadTest, FailedThreadStartThrowsAndReleasesTheFunction)
{
    auto token = std::make_shared<int>(0);
    bool ran = false;
    orvauth_test::FailThreadCreation(11);
    std::unique_ptr<Exception> error =
        CaughtBy([&] { OrvauthThreadUtil::ScheduleThread([token, &ran] { ran = true; }); });
    orvauth_test::FailThreadCreation(0);

    ASSERT_NE(error, nullptr);
    EXPECT_EQ(typeid(*error), typeid(ThreadErrorException));
    EXPECT_STREQ(error->what(), "Thread Error: pthread_create failed. RC=11");
    EXPECT_EQ(error->Code(), 0u);
    EXPECT_FALSE(ran);
    EXPECT_EQ(token.use_count(), 1);
}

}  // namespace
