// The library's exception tree. Every failure leaves the library as an
// exception derived from Exception; Clone()/Throw() carry one across threads
// with its exact class.
#pragma once

#include <orvane/authentication/Export.h>

#include <cstdint>
#include <exception>
#include <string>

namespace orvane {
namespace authentication {

class ORVAUTH_API Exception : public std::exception {
public:
    explicit Exception(const std::string& text);
    // Coded form: "Exception 0x" + at least eight lowercase hex digits + ": " + text.
    Exception(unsigned long code, const std::string& text);
    Exception(const Exception& other) = default;
    ~Exception() override;

    const char* what() const noexcept override;
    virtual Exception* Clone() const;
    [[noreturn]] virtual void Throw() const;

    unsigned long Code() const { return code; }

protected:
    unsigned long code;
    std::string message;
};

// Boilerplate shared by every derived class: the complete-message and coded
// constructors, Clone() and Throw() returning and throwing the class itself.
#define ORVAUTH_EXCEPTION_COMMON(Name)                                        \
    Name(const Name& other) = default;                                        \
    ~Name() override;                                                         \
    Name* Clone() const override;                                             \
    [[noreturn]] void Throw() const override;

#define ORVAUTH_EXCEPTION_BODY(Name)                                          \
public:                                                                       \
    explicit Name(const std::string& text) : Exception(text) {}              \
    Name(unsigned long statusCode, const std::string& text)                  \
        : Exception(statusCode, text) {}                                     \
    ORVAUTH_EXCEPTION_COMMON(Name)

// Classes built from a complete message (code 0) or, for UnknownException,
// from a code and "Unknown exception".
class ORVAUTH_API ProviderCallTimedOutException : public Exception {
    ORVAUTH_EXCEPTION_BODY(ProviderCallTimedOutException)
    ProviderCallTimedOutException();  // "Provider call timed out."
};
class ORVAUTH_API ConfigurationError : public Exception { ORVAUTH_EXCEPTION_BODY(ConfigurationError) };
class ORVAUTH_API IOError : public Exception { ORVAUTH_EXCEPTION_BODY(IOError) };
class ORVAUTH_API FilePermissionError : public Exception { ORVAUTH_EXCEPTION_BODY(FilePermissionError) };
class ORVAUTH_API UnknownException : public Exception {
    ORVAUTH_EXCEPTION_BODY(UnknownException)
    // The status as given, with the text "Unknown exception" in coded form.
    explicit UnknownException(unsigned long statusCode);
};

// Classes whose constructor takes the variable part of a built text: the
// cause, key, name or reason that the class's fixed text frames.
#define ORVAUTH_NAMED_EXCEPTION(Name)                                         \
    class ORVAUTH_API Name : public Exception {                               \
    public:                                                                   \
        explicit Name(const std::string& variablePart);                      \
        ORVAUTH_EXCEPTION_COMMON(Name)                                        \
    };

// "Thread Error: " + cause
ORVAUTH_NAMED_EXCEPTION(ThreadErrorException)
// "The specified key '" + key + "' was not found in this configuration"
ORVAUTH_NAMED_EXCEPTION(InvalidKeyException)
// "The specified store '" + name + "' is unknown"
ORVAUTH_NAMED_EXCEPTION(UnknownRemoteAuthenticationStoreException)
// "The specified store '" + name + "' is invalid"
ORVAUTH_NAMED_EXCEPTION(InvalidRemoteAuthenticationStoreException)
// "The current hostname is invalid: " + reason
ORVAUTH_NAMED_EXCEPTION(InvalidHostNameException)
// "The credentials that were provided were invalid: " + reason
ORVAUTH_NAMED_EXCEPTION(InvalidCredentialsException)
// "The IP Address is invalid: " + reason
ORVAUTH_NAMED_EXCEPTION(InvalidIPAddressException)
// "The VerifyJORVCertificate option is invalid: " + reason
ORVAUTH_NAMED_EXCEPTION(InvalidVerifyJORVCertificateOptionException)
// "The specified thumbprint store '" + name + "' is invalid"
ORVAUTH_NAMED_EXCEPTION(InvalidThumbprintStoreException)

// Provider classes: a name alone, or a name and a reason.
#define ORVAUTH_PROVIDER_EXCEPTION(Name)                                      \
    class ORVAUTH_API Name : public Exception {                               \
    public:                                                                   \
        explicit Name(const std::string& name);                              \
        Name(const std::string& name, const std::string& reason);            \
        ORVAUTH_EXCEPTION_COMMON(Name)                                        \
    };

// "The specified Active Directory provider '" + name + "' is invalid", then
// ": " + reason when there is one
ORVAUTH_PROVIDER_EXCEPTION(InvalidActiveDirectoryProviderException)
// "The specified JORVProxy provider '" + name + "' is invalid", likewise
ORVAUTH_PROVIDER_EXCEPTION(InvalidJORVProxyProviderException)

// Fixed-text classes without a code.
#define ORVAUTH_FIXED_EXCEPTION(Name)                                         \
    class ORVAUTH_API Name : public Exception {                               \
    public:                                                                   \
        Name();                                                               \
        ORVAUTH_EXCEPTION_COMMON(Name)                                        \
    };

class ORVAUTH_API InvalidCertificateException : public Exception {
public:
    // "The certificate format is invalid; only PEM format is supported."
    InvalidCertificateException();
    // "The certificate is invalid: " + reason
    explicit InvalidCertificateException(const std::string& reason);
    ORVAUTH_EXCEPTION_COMMON(InvalidCertificateException)
};
// "The JORV server's certificate cannot be verified."
ORVAUTH_FIXED_EXCEPTION(InvalidJORVCertificateException)

// The classes chosen by a directory status code (ThrowMappedException).
// Six of them also have a constructor without arguments giving their row's
// code and message; the others come into being only through the mapping,
// Clone() and Throw().
#define ORVAUTH_MAPPED_EXCEPTION_CLASS(Name, DefaultConstructor)             \
    class ORVAUTH_API Name : public Exception {                               \
    public:                                                                   \
        DefaultConstructor                                                    \
        ORVAUTH_EXCEPTION_COMMON(Name)                                        \
                                                                              \
    private:                                                                  \
        Name(unsigned long statusCode, const std::string& text)              \
            : Exception(statusCode, text) {}                                  \
        friend class ExceptionFactory;                                        \
    };
#define ORVAUTH_MAPPED_EXCEPTION(Name) ORVAUTH_MAPPED_EXCEPTION_CLASS(Name, )
#define ORVAUTH_MAPPED_EXCEPTION_WITH_DEFAULT(Name) ORVAUTH_MAPPED_EXCEPTION_CLASS(Name, Name();)

ORVAUTH_MAPPED_EXCEPTION_WITH_DEFAULT(FileNotFoundException)        // 2
ORVAUTH_MAPPED_EXCEPTION(AccessDeniedException)                     // 5
ORVAUTH_MAPPED_EXCEPTION_WITH_DEFAULT(NotEnoughMemoryException)     // 8
ORVAUTH_MAPPED_EXCEPTION(InvalidPasswordException)                  // 86
ORVAUTH_MAPPED_EXCEPTION(InvalidParameterException)                 // 87
ORVAUTH_MAPPED_EXCEPTION_WITH_DEFAULT(CallNotImplementedException)  // 120
ORVAUTH_MAPPED_EXCEPTION(DirectoryException)                        // 267
ORVAUTH_MAPPED_EXCEPTION(BadDLLEntryPointException)                 // 609
ORVAUTH_MAPPED_EXCEPTION(InvalidMessageException)                   // 1002
ORVAUTH_MAPPED_EXCEPTION(ServiceDoesNotExistException)              // 1060
ORVAUTH_MAPPED_EXCEPTION(ServiceCannotAcceptControlException)       // 1061
ORVAUTH_MAPPED_EXCEPTION(ServiceNotActiveException)                 // 1062
ORVAUTH_MAPPED_EXCEPTION(ExceptionInServiceException)               // 1064
ORVAUTH_MAPPED_EXCEPTION(ProcessAbortedException)                   // 1067
ORVAUTH_MAPPED_EXCEPTION(ConnectionUnavailableException)            // 1201
ORVAUTH_MAPPED_EXCEPTION(InvalidGroupNameException)                 // 1209
ORVAUTH_MAPPED_EXCEPTION(InvalidComputerNameException)              // 1210
ORVAUTH_MAPPED_EXCEPTION(InvalidDomainNameException)                // 1212
ORVAUTH_MAPPED_EXCEPTION(InvalidServiceNameException)               // 1213
ORVAUTH_MAPPED_EXCEPTION(InvalidNetNameException)                   // 1214
ORVAUTH_MAPPED_EXCEPTION(InvalidShareNameException)                 // 1215
ORVAUTH_MAPPED_EXCEPTION(InvalidPasswordNameException)              // 1216
ORVAUTH_MAPPED_EXCEPTION(NoNetworkException)                        // 1222
ORVAUTH_MAPPED_EXCEPTION_WITH_DEFAULT(ConnectionRefusedException)   // 1225
ORVAUTH_MAPPED_EXCEPTION_WITH_DEFAULT(ConnectionInvalidException)   // 1229
ORVAUTH_MAPPED_EXCEPTION(NoLogonServersException)                   // 1311
ORVAUTH_MAPPED_EXCEPTION(InvalidAccountNameException)               // 1315
ORVAUTH_MAPPED_EXCEPTION(NoSuchUserException)                       // 1317
ORVAUTH_MAPPED_EXCEPTION(IllFormedPasswordException)                // 1324
ORVAUTH_MAPPED_EXCEPTION(PasswordRestrictionException)              // 1325
ORVAUTH_MAPPED_EXCEPTION(LogonFailureException)                     // 1326
ORVAUTH_MAPPED_EXCEPTION(PasswordExpiredException)                  // 1330
ORVAUTH_MAPPED_EXCEPTION(AccountDisabledException)                  // 1331
ORVAUTH_MAPPED_EXCEPTION(NoSuchDomainException)                     // 1355
ORVAUTH_MAPPED_EXCEPTION(InternalErrorException)                    // 1359
ORVAUTH_MAPPED_EXCEPTION(TimeSkewException)                         // 1398
ORVAUTH_MAPPED_EXCEPTION(NoSuchGroupException)                      // 1575
ORVAUTH_MAPPED_EXCEPTION(RPCSProtocolSequenceNotSupportedException) // 1703
ORVAUTH_MAPPED_EXCEPTION(NoTrustLSASecretException)                 // 1786
ORVAUTH_MAPPED_EXCEPTION(NoTrustSAMAccountException)                // 1787
ORVAUTH_MAPPED_EXCEPTION(RPCSCallInProgressException)               // 1791
ORVAUTH_MAPPED_EXCEPTION(DomainTrustInconsistentException)          // 1810
ORVAUTH_MAPPED_EXCEPTION(WkstaNotStartedException)                  // 2138
ORVAUTH_MAPPED_EXCEPTION(SetupAlreadyJoinedException)               // 2691
ORVAUTH_MAPPED_EXCEPTION(InvalidWorkgroupNameException)             // 2695
ORVAUTH_MAPPED_EXCEPTION_WITH_DEFAULT(WSATimedOutException)         // 10060

// Throws the class that the mapping gives for a directory status code, or
// UnknownException for any other code (0 included). Never returns.
[[noreturn]] ORVAUTH_API void ThrowMappedException(std::uint32_t status);

}  // namespace authentication
}  // namespace orvane
