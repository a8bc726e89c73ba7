// The completion record a background query and its waiting caller share.
// The queries' own tests cover late completion, exceptions carried across
// threads and failed thread starts.
#include <orvane/authentication/Exceptions.h>
#include <orvane/authentication/ThreadUtil.h>

#include <boost/make_shared.hpp>
#include <climits>
#include <gtest/gtest.h>

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

}  // namespace
