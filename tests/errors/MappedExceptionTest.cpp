// Status codes to exception classes: every row of the mapping, and the codes
// around and outside it.
#include <orvane/authentication/Exceptions.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <typeindex>
#include <typeinfo>

using namespace orvane::authentication;

namespace {

struct Row {
    std::uint32_t code;
    std::type_index type;
    const char* text;
};

#define ROW(code, Class, text) Row{code, typeid(Class), text}

const Row kRows[] = {
    ROW(2, FileNotFoundException, "The system cannot find the file specified."),
    ROW(5, AccessDeniedException, "Access is denied."),
    ROW(8, NotEnoughMemoryException, "Not enough memory"),
    ROW(86, InvalidPasswordException, "The specified network password is not correct."),
    ROW(87, InvalidParameterException, "The parameter is incorrect."),
    ROW(120, CallNotImplementedException, "This function is not supported on this system."),
    ROW(267, DirectoryException, "The directory name is invalid."),
    ROW(609, BadDLLEntryPointException, "Bad DLL entry point."),
    ROW(1002, InvalidMessageException, "The window cannot act on the sent message."),
    ROW(1060, ServiceDoesNotExistException, "The specified service does not exist as an installed service."),
    ROW(1061, ServiceCannotAcceptControlException, "The service cannot accept control messages at this time."),
    ROW(1062, ServiceNotActiveException, "The service has not been started."),
    ROW(1064, ExceptionInServiceException,
        "An exception occurred in the service when handling the control request."),
    ROW(1067, ProcessAbortedException, "The process terminated unexpectedly."),
    ROW(1201, ConnectionUnavailableException,
        "The device is not currently connected but it is a remembered connection."),
    ROW(1209, InvalidGroupNameException, "The format of the specified group name is invalid."),
    ROW(1210, InvalidComputerNameException, "The format of the specified computer name is invalid."),
    ROW(1212, InvalidDomainNameException, "The format of the specified domain name is invalid."),
    ROW(1213, InvalidServiceNameException, "The format of the specified service name is invalid."),
    ROW(1214, InvalidNetNameException, "The format of the specified network name is invalid."),
    ROW(1215, InvalidShareNameException, "The format of the specified share name is invalid."),
    ROW(1216, InvalidPasswordNameException, "The format of the specified password is invalid."),
    ROW(1222, NoNetworkException, "The network is not present or not started."),
    ROW(1225, ConnectionRefusedException, "The remote computer refused the network connection."),
    ROW(1229, ConnectionInvalidException, "An operation was attempted on a nonexistent network connection."),
    ROW(1311, NoLogonServersException,
        "There are currently no logon servers available to service the logon request."),
    ROW(1315, InvalidAccountNameException, "The name provided is not a properly formed account name."),
    ROW(1317, NoSuchUserException, "The specified account does not exist."),
    ROW(1324, IllFormedPasswordException,
        "The value provided for the new password contains values that are not allowed in passwords."),
    ROW(1325, PasswordRestrictionException,
        "The value provided for the new password does not meet the length, complexity, or history "
        "requirements of the domain."),
    ROW(1326, LogonFailureException,
        "The attempted logon is invalid. This is due to either a bad user name or authentication information."),
    ROW(1330, PasswordExpiredException, "Logon failure: the specified account password has expired."),
    ROW(1331, AccountDisabledException, "Logon failure: account currently disabled."),
    ROW(1355, NoSuchDomainException, "The specified domain either does not exist or could not be contacted."),
    ROW(1359, InternalErrorException, "An internal error occurred."),
    ROW(1398, TimeSkewException, "There is a time and/or date difference between the client and server."),
    ROW(1575, NoSuchGroupException, "The specified group does not exist."),
    ROW(1703, RPCSProtocolSequenceNotSupportedException, "The RPC protocol sequence is not supported."),
    ROW(1786, NoTrustLSASecretException, "The workstation does not have a trust secret."),
    ROW(1787, NoTrustSAMAccountException, "The domain controller does not have an account for this workstation."),
    ROW(1791, RPCSCallInProgressException, "A remote procedure call is already in progress for this thread."),
    ROW(1810, DomainTrustInconsistentException,
        "The name or security ID (SID) of the domain specified is inconsistent with the trust information for "
        "that domain."),
    ROW(2138, WkstaNotStartedException, "The Workstation service has not been started."),
    ROW(2691, SetupAlreadyJoinedException, "This machine is already joined to a domain."),
    ROW(2695, InvalidWorkgroupNameException, "The specified workgroup name is invalid."),
    ROW(10060, WSATimedOutException,
        "A connection attempt failed because the connected party did not properly respond after a period of "
        "time, or established connection failed because connected host has failed to respond."),
};

std::string Coded(std::uint32_t code, const std::string& text)
{
    char prefix[32];
    std::snprintf(prefix, sizeof prefix, "Exception 0x%08x: ", code);
    return prefix + text;
}

// Throws the mapped exception and returns a clone of what was caught.
std::unique_ptr<Exception> Caught(std::uint32_t code)
{
    try {
        ThrowMappedException(code);
    } catch (const Exception& e) {
        return std::unique_ptr<Exception>(e.Clone());
    }
    return nullptr;
}

TEST(ThrowMappedException, EveryRowGivesItsClassCodeAndText)
{
    ASSERT_EQ(sizeof kRows / sizeof kRows[0], 46u);
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.code);
        std::unique_ptr<Exception> caught = Caught(row.code);
        ASSERT_TRUE(caught);
        EXPECT_EQ(std::type_index(typeid(*caught)), row.type);
        EXPECT_EQ(caught->Code(), row.code);
        EXPECT_EQ(caught->what(), Coded(row.code, row.text));
    }
}

TEST(ThrowMappedException, ClonesRethrowAsTheirOwnClass)
{
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.code);
        std::unique_ptr<Exception> clone = Caught(row.code);
        try {
            clone->Throw();
        } catch (const Exception& e) {
            EXPECT_EQ(std::type_index(typeid(e)), row.type);
            EXPECT_STREQ(e.what(), clone->what());
        }
    }
}

TEST(ThrowMappedException, UnmappedCodesAreUnknown)
{
    for (std::uint32_t code : {0u, 1u, 1211u, 1223u, 0xFFFF0000u, 0x80090325u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(code);
        try {
            ThrowMappedException(code);
            FAIL();
        } catch (const UnknownException& e) {
            EXPECT_EQ(e.Code(), code);
            EXPECT_EQ(e.what(), Coded(code, "Unknown exception"));
        }
    }
}

TEST(ThrowMappedException, SpecificHandlersCatchSpecificFailures)
{
    EXPECT_THROW(ThrowMappedException(1326), LogonFailureException);
    EXPECT_THROW(ThrowMappedException(1355), NoSuchDomainException);
    EXPECT_THROW(ThrowMappedException(1215), InvalidShareNameException);
}

TEST(MappedDefaults, MatchTheirMappedRow)
{
    const std::pair<std::uint32_t, std::shared_ptr<Exception>> defaults[] = {
        {2, std::make_shared<FileNotFoundException>()},      {8, std::make_shared<NotEnoughMemoryException>()},
        {120, std::make_shared<CallNotImplementedException>()}, {1225, std::make_shared<ConnectionRefusedException>()},
        {1229, std::make_shared<ConnectionInvalidException>()}, {10060, std::make_shared<WSATimedOutException>()},
    };
    for (const auto& entry : defaults) {
        SCOPED_TRACE(entry.first);
        std::unique_ptr<Exception> mapped = Caught(entry.first);
        EXPECT_EQ(typeid(*entry.second), typeid(*mapped));
        EXPECT_STREQ(entry.second->what(), mapped->what());
    }
}

}  // namespace
