// The completion record a background query and its waiting caller share, and
// the detached threads those queries run on. The queries' own tests cover
// late completion and exceptions carried across threads.
#include "ThreadSeam.h"

#include <orvane/authentication/Exceptions.h>
#include <orvane/authentication/ThreadUtil.h>

#include <boost/make_shared.hpp>
#include <climits>
#include <gtest/gtest.h>
#include <memory>

using namespace orvane::authentication;

namespace {

TEST(RequestStateTest, ZeroOrNegativeSecondsDoNotWaitAndAFinishedRecordAnswersAtOnce)
{
    for (int seconds : {0, -1, INT_MIN}) {
        SCOPED_TRACE(seconds);
        auto state = boost::make_shared<RequestState>();
        try {
            state->WaitResult(seconds);
            ADD_FAILURE() << "no time-out";
        } catch (const ProviderCallTimedOutException& error) {
            EXPECT_STREQ(error.what(), "Provider call timed out.");
            EXPECT_EQ(error.Code(), 0u);
        }
        state->Done(nullptr);
        EXPECT_NO_THROW(state->WaitResult(seconds));
        const CallNotImplementedException reported;
        state->Done(&reported);
        EXPECT_THROW(state->WaitResult(seconds), CallNotImplementedException);
    }
}

TEST(ScheduleThreadTest, FailedThreadStartThrowsAndReleasesTheFunction)
{
    auto token = std::make_shared<int>(0);
    bool ran = false;
    orvauth_test::FailThreadCreation(11);
    try {
        OrvauthThreadUtil::ScheduleThread([token, &ran] { ran = true; });
        ADD_FAILURE() << "no exception";
    } catch (const ThreadErrorException& error) {
        EXPECT_STREQ(error.what(), "Thread Error: pthread_create failed. RC=11");
        EXPECT_EQ(error.Code(), 0u);
    }
    orvauth_test::FailThreadCreation(0);
    EXPECT_FALSE(ran);
    EXPECT_EQ(token.use_count(), 1);
}

}  // namespace
