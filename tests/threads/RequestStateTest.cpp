// The completion record a background query and its waiting caller share, and
// the detached threads those queries run on.
#include "ThreadSeam.h"

#include <orvane/authentication/Exceptions.h>
#include <orvane/authentication/ThreadUtil.h>

#include <boost/make_shared.hpp>
#include <climits>
#include <future>
#include <gtest/gtest.h>
#include <memory>
#include <thread>
#include <typeinfo>

using namespace orvane::authentication;

namespace {

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

TEST(RequestStateTest, ZeroOrNegativeSecondsDoNotWait)
{
    for (int seconds : {0, -1, INT_MIN}) {
        SCOPED_TRACE(seconds);
        auto state = boost::make_shared<RequestState>();
        std::unique_ptr<Exception> error = CaughtBy([&] { state->WaitResult(seconds); });
        ASSERT_NE(error, nullptr);
        EXPECT_EQ(typeid(*error), typeid(ProviderCallTimedOutException));
        EXPECT_STREQ(error->what(), "Provider call timed out.");
        EXPECT_EQ(error->Code(), 0u);
        // Finished after the time-out: answers at once from now on.
        state->Done(nullptr);
        EXPECT_NO_THROW(state->WaitResult(seconds));
    }
}

// The waiter gets the worker's exception with its own class, code and text,
// every time it asks, long after the original is gone.
TEST(RequestStateTest, ReportedExceptionIsRethrownWithItsExactClass)
{
    std::unique_ptr<Exception> reported[] = {
        std::unique_ptr<Exception>(new CallNotImplementedException()),
        std::unique_ptr<Exception>(new ThreadErrorException("cause")),
        std::unique_ptr<Exception>(new Exception(0x1234, "plain")),
    };
    for (auto& original : reported) {
        SCOPED_TRACE(original->what());
        const std::string text = original->what();
        const unsigned long code = original->Code();
        const std::type_info& type = typeid(*original);
        auto state = boost::make_shared<RequestState>();
        std::thread worker([&] { state->Done(original.get()); });
        std::unique_ptr<Exception> whileWaiting = CaughtBy([&] { state->WaitResult(60); });
        worker.join();
        original.reset();
        std::unique_ptr<Exception> afterDone = CaughtBy([&] { state->WaitResult(0); });
        for (const Exception* error : {whileWaiting.get(), afterDone.get()}) {
            ASSERT_NE(error, nullptr);
            EXPECT_EQ(typeid(*error), type);
            EXPECT_EQ(error->what(), text);
            EXPECT_EQ(error->Code(), code);
        }
    }
}

// A worker that reports after its caller gave up holds the last reference:
// the record goes with the worker's function, and nothing touches the caller.
TEST(RequestStateTest, CompletionAfterTimeOutIsHarmless)
{
    for (bool withError : {false, true}) {
        SCOPED_TRACE(withError);
        auto state = boost::make_shared<RequestState>();
        EXPECT_THROW(state->WaitResult(0), ProviderCallTimedOutException);

        std::promise<void> callerGone;
        std::shared_future<void> gone = callerGone.get_future().share();
        std::promise<long> useCountAtDone;
        std::future<long> useCount = useCountAtDone.get_future();
        OrvauthThreadUtil::ScheduleThread([state, withError, gone, &useCountAtDone] {
            gone.wait();
            useCountAtDone.set_value(state.use_count());
            ConnectionRefusedException error;
            state->Done(withError ? &error : nullptr);
        });
        state.reset();
        callerGone.set_value();
        EXPECT_EQ(useCount.get(), 1);
        ASSERT_TRUE(orvauth_test::WaitForThreadsToEnd());
    }
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
