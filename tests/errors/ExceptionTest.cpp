// The exception tree as a caller in another binary sees it: exact texts,
// and exact classes after a clone has crossed a thread.
#include <orvane/authentication/Exceptions.h>

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <thread>
#include <typeinfo>

using namespace orvane::authentication;

namespace {

struct MessageCase {
    const char* label;
    std::shared_ptr<Exception> exception;
    unsigned long code;
    const char* message;
};

class ExceptionMessages : public ::testing::TestWithParam<MessageCase> {};

TEST_P(ExceptionMessages, CarryTheirExactText)
{
    const MessageCase& c = GetParam();
    EXPECT_EQ(c.exception->Code(), c.code);
    EXPECT_STREQ(c.exception->what(), c.message);
}

template <typename T, typename... Args>
std::shared_ptr<Exception> Make(Args... args)
{
    return std::make_shared<T>(args...);
}

INSTANTIATE_TEST_SUITE_P(
    All, ExceptionMessages,
    ::testing::Values(
        MessageCase{"TextAlone", Make<Exception>(std::string("plain text")), 0, "plain text"},
        MessageCase{"CodeZero", Make<Exception>(0ul, std::string("plain text")), 0, "Exception 0x00000000: plain text"},
        MessageCase{"EmptyText", Make<Exception>(0x1234ul, std::string()), 0x1234, "Exception 0x00001234: "},
        MessageCase{"WideCode", Make<Exception>(0x123456789ul, std::string("x")), 0x123456789ul,
                    "Exception 0x123456789: x"},
        MessageCase{"Lowercase", Make<ConnectionInvalidException>(), 1229,
                    "Exception 0x000004cd: An operation was attempted on a nonexistent network connection."},
        MessageCase{"FileNotFound", Make<FileNotFoundException>(), 2,
                    "Exception 0x00000002: The system cannot find the file specified."},
        MessageCase{"WSATimedOut", Make<WSATimedOutException>(), 10060,
                    "Exception 0x0000274c: A connection attempt failed because the connected party did not "
                    "properly respond after a period of time, or established connection failed because "
                    "connected host has failed to respond."},
        MessageCase{"Unknown", Make<UnknownException>(77ul), 77, "Exception 0x0000004d: Unknown exception"},
        MessageCase{"TimedOut", Make<ProviderCallTimedOutException>(), 0, "Provider call timed out."},
        MessageCase{"ThreadError", Make<ThreadErrorException>(std::string("pthread_create failed. RC=11")), 0,
                    "Thread Error: pthread_create failed. RC=11"},
        MessageCase{"InvalidKey", Make<InvalidKeyException>(std::string("provider")), 0,
                    "The specified key 'provider' was not found in this configuration"},
        MessageCase{"UnknownStore", Make<UnknownRemoteAuthenticationStoreException>(std::string()), 0,
                    "The specified store '' is unknown"},
        MessageCase{"InvalidStore", Make<InvalidRemoteAuthenticationStoreException>(std::string("X")), 0,
                    "The specified store 'X' is invalid"},
        MessageCase{"ProviderName", Make<InvalidActiveDirectoryProviderException>(std::string("(unset)")), 0,
                    "The specified Active Directory provider '(unset)' is invalid"},
        MessageCase{"ProviderReason",
                    Make<InvalidActiveDirectoryProviderException>(std::string("p"), std::string("why")), 0,
                    "The specified Active Directory provider 'p' is invalid: why"},
        MessageCase{"ProxyName", Make<InvalidJORVProxyProviderException>(std::string("(none installed)")), 0,
                    "The specified JORVProxy provider '(none installed)' is invalid"},
        MessageCase{"ProxyReason", Make<InvalidJORVProxyProviderException>(std::string("p"), std::string("")), 0,
                    "The specified JORVProxy provider 'p' is invalid: "},
        MessageCase{"HostName", Make<InvalidHostNameException>(std::string("hostname is in blacklist")), 0,
                    "The current hostname is invalid: hostname is in blacklist"},
        MessageCase{"Credentials", Make<InvalidCredentialsException>(std::string("no username was specified")), 0,
                    "The credentials that were provided were invalid: no username was specified"},
        MessageCase{"IPAddress", Make<InvalidIPAddressException>(std::string("r")), 0, "The IP Address is invalid: r"},
        MessageCase{"VerifyOption", Make<InvalidVerifyJORVCertificateOptionException>(std::string("r")), 0,
                    "The VerifyJORVCertificate option is invalid: r"},
        MessageCase{"ThumbprintStore", Make<InvalidThumbprintStoreException>(std::string("auth_proxy_certificate")),
                    0, "The specified thumbprint store 'auth_proxy_certificate' is invalid"},
        MessageCase{"Certificate", Make<InvalidCertificateException>(), 0,
                    "The certificate format is invalid; only PEM format is supported."},
        MessageCase{"JORVCertificate", Make<InvalidJORVCertificateException>(), 0,
                    "The JORV server's certificate cannot be verified."}),
    [](const ::testing::TestParamInfo<MessageCase>& info) { return std::string(info.param.label); });

TEST(ExceptionClone, ThrownOnAnotherThreadIsCaughtByItsExactClass)
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
    try {
        carried->Throw();
        FAIL() << "Throw() returned";
    } catch (const ConnectionRefusedException& e) {
        EXPECT_EQ(e.Code(), 1225u);
        EXPECT_STREQ(e.what(), "Exception 0x000004c9: The remote computer refused the network connection.");
    }
    // Throw() leaves the clone usable: it can be thrown again.
    EXPECT_THROW(carried->Throw(), ConnectionRefusedException);
}

TEST(ExceptionClone, OutlivesTheOriginal)
{
    std::unique_ptr<Exception> clone;
    {
        InvalidHostNameException original("unable to get hostname");
        clone.reset(original.Clone());
    }
    EXPECT_EQ(typeid(*clone), typeid(InvalidHostNameException));
    EXPECT_STREQ(clone->what(), "The current hostname is invalid: unable to get hostname");
}

TEST(ExceptionTree, EveryClassIsAStandardException)
{
    EXPECT_THROW(IOError("x").Throw(), std::exception);
    EXPECT_THROW(ConfigurationError("x").Throw(), Exception);
}

}  // namespace
