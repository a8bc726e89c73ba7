// The directory status codes the library knows, with the class and the fixed
// English text each one maps to. One row per code, in ascending order.
#pragma once

// ORVAUTH_STATUS_ROW(code, class, message)
#define ORVAUTH_STATUS_CODE_TABLE(ORVAUTH_STATUS_ROW)                                                         \
    ORVAUTH_STATUS_ROW(2, FileNotFoundException, "The system cannot find the file specified.")                \
    ORVAUTH_STATUS_ROW(5, AccessDeniedException, "Access is denied.")                                        \
    ORVAUTH_STATUS_ROW(8, NotEnoughMemoryException, "Not enough memory")                                     \
    ORVAUTH_STATUS_ROW(86, InvalidPasswordException, "The specified network password is not correct.")       \
    ORVAUTH_STATUS_ROW(87, InvalidParameterException, "The parameter is incorrect.")                         \
    ORVAUTH_STATUS_ROW(120, CallNotImplementedException, "This function is not supported on this system.")   \
    ORVAUTH_STATUS_ROW(267, DirectoryException, "The directory name is invalid.")                            \
    ORVAUTH_STATUS_ROW(609, BadDLLEntryPointException, "Bad DLL entry point.")                               \
    ORVAUTH_STATUS_ROW(1002, InvalidMessageException, "The window cannot act on the sent message.")          \
    ORVAUTH_STATUS_ROW(1060, ServiceDoesNotExistException,                                                    \
                       "The specified service does not exist as an installed service.")                      \
    ORVAUTH_STATUS_ROW(1061, ServiceCannotAcceptControlException,                                             \
                       "The service cannot accept control messages at this time.")                           \
    ORVAUTH_STATUS_ROW(1062, ServiceNotActiveException, "The service has not been started.")                 \
    ORVAUTH_STATUS_ROW(1064, ExceptionInServiceException,                                                     \
                       "An exception occurred in the service when handling the control request.")            \
    ORVAUTH_STATUS_ROW(1067, ProcessAbortedException, "The process terminated unexpectedly.")                \
    ORVAUTH_STATUS_ROW(1201, ConnectionUnavailableException,                                                  \
                       "The device is not currently connected but it is a remembered connection.")           \
    ORVAUTH_STATUS_ROW(1209, InvalidGroupNameException, "The format of the specified group name is invalid.") \
    ORVAUTH_STATUS_ROW(1210, InvalidComputerNameException,                                                    \
                       "The format of the specified computer name is invalid.")                              \
    ORVAUTH_STATUS_ROW(1212, InvalidDomainNameException, "The format of the specified domain name is invalid.") \
    ORVAUTH_STATUS_ROW(1213, InvalidServiceNameException,                                                     \
                       "The format of the specified service name is invalid.")                               \
    ORVAUTH_STATUS_ROW(1214, InvalidNetNameException, "The format of the specified network name is invalid.") \
    ORVAUTH_STATUS_ROW(1215, InvalidShareNameException, "The format of the specified share name is invalid.") \
    ORVAUTH_STATUS_ROW(1216, InvalidPasswordNameException, "The format of the specified password is invalid.") \
    ORVAUTH_STATUS_ROW(1222, NoNetworkException, "The network is not present or not started.")               \
    ORVAUTH_STATUS_ROW(1225, ConnectionRefusedException, "The remote computer refused the network connection.") \
    ORVAUTH_STATUS_ROW(1229, ConnectionInvalidException,                                                      \
                       "An operation was attempted on a nonexistent network connection.")                    \
    ORVAUTH_STATUS_ROW(1311, NoLogonServersException,                                                         \
                       "There are currently no logon servers available to service the logon request.")       \
    ORVAUTH_STATUS_ROW(1315, InvalidAccountNameException,                                                     \
                       "The name provided is not a properly formed account name.")                           \
    ORVAUTH_STATUS_ROW(1317, NoSuchUserException, "The specified account does not exist.")                   \
    ORVAUTH_STATUS_ROW(1324, IllFormedPasswordException,                                                      \
                       "The value provided for the new password contains values that are not allowed in "    \
                       "passwords.")                                                                          \
    ORVAUTH_STATUS_ROW(1325, PasswordRestrictionException,                                                    \
                       "The value provided for the new password does not meet the length, complexity, or "   \
                       "history requirements of the domain.")                                                 \
    ORVAUTH_STATUS_ROW(1326, LogonFailureException,                                                           \
                       "The attempted logon is invalid. This is due to either a bad user name or "           \
                       "authentication information.")                                                        \
    ORVAUTH_STATUS_ROW(1330, PasswordExpiredException, "Logon failure: the specified account password has expired.") \
    ORVAUTH_STATUS_ROW(1331, AccountDisabledException, "Logon failure: account currently disabled.")        \
    ORVAUTH_STATUS_ROW(1355, NoSuchDomainException,                                                           \
                       "The specified domain either does not exist or could not be contacted.")              \
    ORVAUTH_STATUS_ROW(1359, InternalErrorException, "An internal error occurred.")                          \
    ORVAUTH_STATUS_ROW(1398, TimeSkewException,                                                               \
                       "There is a time and/or date difference between the client and server.")              \
    ORVAUTH_STATUS_ROW(1575, NoSuchGroupException, "The specified group does not exist.")                    \
    ORVAUTH_STATUS_ROW(1703, RPCSProtocolSequenceNotSupportedException, "The RPC protocol sequence is not supported.") \
    ORVAUTH_STATUS_ROW(1786, NoTrustLSASecretException, "The workstation does not have a trust secret.")     \
    ORVAUTH_STATUS_ROW(1787, NoTrustSAMAccountException,                                                      \
                       "The domain controller does not have an account for this workstation.")               \
    ORVAUTH_STATUS_ROW(1791, RPCSCallInProgressException,                                                     \
                       "A remote procedure call is already in progress for this thread.")                    \
    ORVAUTH_STATUS_ROW(1810, DomainTrustInconsistentException,                                                \
                       "The name or security ID (SID) of the domain specified is inconsistent with the trust " \
                       "information for that domain.")                                                        \
    ORVAUTH_STATUS_ROW(2138, WkstaNotStartedException, "The Workstation service has not been started.")     \
    ORVAUTH_STATUS_ROW(2691, SetupAlreadyJoinedException, "This machine is already joined to a domain.")    \
    ORVAUTH_STATUS_ROW(2695, InvalidWorkgroupNameException, "The specified workgroup name is invalid.")     \
    ORVAUTH_STATUS_ROW(10060, WSATimedOutException,                                                           \
                       "A connection attempt failed because the connected party did not properly respond "   \
                       "after a period of time, or established connection failed because connected host has " \
                       "failed to respond.")
