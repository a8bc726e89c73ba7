// Constructors with built texts, and the per-class Clone()/Throw() that keep
// the most-derived class when an exception crosses a thread.
#include <orvane/authentication/Exceptions.h>

namespace orvane {
namespace authentication {

#define ORVAUTH_DEFINE_COMMON(Name)                                           \
    Name::~Name() = default;                                                  \
    Name* Name::Clone() const { return new Name(*this); }                     \
    void Name::Throw() const { throw Name(*this); }

ORVAUTH_DEFINE_COMMON(ProviderCallTimedOutException)
ORVAUTH_DEFINE_COMMON(ConfigurationError)
ORVAUTH_DEFINE_COMMON(IOError)
ORVAUTH_DEFINE_COMMON(FilePermissionError)
ORVAUTH_DEFINE_COMMON(UnknownException)

ProviderCallTimedOutException::ProviderCallTimedOutException()
    : Exception("Provider call timed out.")
{
}

UnknownException::UnknownException(unsigned long statusCode)
    : Exception(statusCode, "Unknown exception")
{
}

#define ORVAUTH_DEFINE_NAMED(Name, before, after)                             \
    ORVAUTH_DEFINE_COMMON(Name)                                               \
    Name::Name(const std::string& variablePart)                              \
        : Exception(std::string(before) + variablePart + (after))            \
    {                                                                         \
    }

ORVAUTH_DEFINE_NAMED(ThreadErrorException, "Thread Error: ", "")
ORVAUTH_DEFINE_NAMED(InvalidKeyException, "The specified key '", "' was not found in this configuration")
ORVAUTH_DEFINE_NAMED(UnknownRemoteAuthenticationStoreException, "The specified store '", "' is unknown")
ORVAUTH_DEFINE_NAMED(InvalidRemoteAuthenticationStoreException, "The specified store '", "' is invalid")
ORVAUTH_DEFINE_NAMED(InvalidHostNameException, "The current hostname is invalid: ", "")
ORVAUTH_DEFINE_NAMED(InvalidCredentialsException, "The credentials that were provided were invalid: ", "")
ORVAUTH_DEFINE_NAMED(InvalidIPAddressException, "The IP Address is invalid: ", "")
ORVAUTH_DEFINE_NAMED(InvalidVerifyJORVCertificateOptionException,
                     "The VerifyJORVCertificate option is invalid: ", "")
ORVAUTH_DEFINE_NAMED(InvalidThumbprintStoreException, "The specified thumbprint store '", "' is invalid")

#define ORVAUTH_DEFINE_PROVIDER(Name, kind)                                          \
    ORVAUTH_DEFINE_COMMON(Name)                                                      \
    Name::Name(const std::string& name)                                             \
        : Exception("The specified " kind " provider '" + name + "' is invalid") {}  \
    Name::Name(const std::string& name, const std::string& reason)                  \
        : Exception("The specified " kind " provider '" + name + "' is invalid: " + reason) {}

ORVAUTH_DEFINE_PROVIDER(InvalidActiveDirectoryProviderException, "Active Directory")
ORVAUTH_DEFINE_PROVIDER(InvalidJORVProxyProviderException, "JORVProxy")

#define ORVAUTH_DEFINE_FIXED(Name, text)                                      \
    ORVAUTH_DEFINE_COMMON(Name)                                               \
    Name::Name() : Exception(text) {}

ORVAUTH_DEFINE_FIXED(InvalidCertificateException,
                     "The certificate format is invalid; only PEM format is supported.")
InvalidCertificateException::InvalidCertificateException(const std::string& reason)
    : Exception("The certificate is invalid: " + reason)
{
}
ORVAUTH_DEFINE_FIXED(InvalidJORVCertificateException, "The JORV server's certificate cannot be verified.")

}  // namespace authentication
}  // namespace orvane
