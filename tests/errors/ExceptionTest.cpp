// The exception tree as a caller in another binary sees it: exact texts,
// and exact classes after a clone has crossed a thread.
#include <orvane/authentication/Exceptions.h>

#include <gtest/gtest.h>

#include <memory>
#include <thread>

using namespace orvane::authentication;

namespace {

TEST(Exception, MessagesFollowTheirShape)
{
    const std::pair<std::shared_ptr<Exception>, const char*> cases[] = {
        {std::make_shared<Exception>("plain text"), "plain text"},
        {std::make_shared<Exception>(0ul, "plain text"), "Exception 0x00000000: plain text"},
        {std::make_shared<Exception>(0x1234ul, ""), "Exception 0x00001234: "},
        {std::make_shared<Exception>(0x123456789ul, "x"), "Exception 0x123456789: x"},
        {std::make_shared<ConnectionInvalidException>(),
         "Exception 0x000004cd: An operation was attempted on a nonexistent network connection."},
        {std::make_shared<UnknownException>(77ul), "Exception 0x0000004d: Unknown exception"},
        {std::make_shared<ThreadErrorException>("pthread_create failed. RC=11"),
         "Thread Error: pthread_create failed. RC=11"},
        {std::make_shared<InvalidActiveDirectoryProviderException>("p"),
         "The specified Active Directory provider 'p' is invalid"},
        {std::make_shared<InvalidJORVProxyProviderException>("p", ""), "The specified JORVProxy provider 'p' is invalid: "},
        {std::make_shared<InvalidCertificateException>(),
         "The certificate format is invalid; only PEM format is supported."},
    };
    for (const auto& c : cases) {
        EXPECT_STREQ(c.first->what(), c.second);
    }
    EXPECT_EQ(ConnectionInvalidException().Code(), 1229u);
}

TEST(Exception, CloneOutlivesItsThreadAndThrowsItsExactClass)
{
    std::unique_ptr<Exception> carried;
    std::thread worker([&carried] {
        try {
            throw ConnectionRefusedException();
        } catch (const Exception& e) {
            carried.reset(e.Clone());
        }
    });
    worker.join();
    ASSERT_TRUE(carried);
    for (int round = 0; round < 2; ++round) {  // Throw() leaves the clone usable
        try {
            carried->Throw();
            FAIL() << "Throw() returned";
        } catch (const ConnectionRefusedException& e) {
            EXPECT_EQ(e.Code(), 1225u);
            EXPECT_STREQ(e.what(), "Exception 0x000004c9: The remote computer refused the network connection.");
        }
    }
}

}  // namespace
