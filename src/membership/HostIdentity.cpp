#include "membership/HostIdentity.h"

#include <orvane/authentication/Exceptions.h>

#include <netdb.h>
#include <unistd.h>

namespace orvane {
namespace authentication {

namespace {

// gethostname is told one byte less than the buffer holds, and that byte is
// a NUL of our own, so the name is terminated even where the system
// truncates without terminating.
constexpr std::size_t HOST_NAME_BUFFER_SIZE = 65;
constexpr std::size_t HOST_NAME_LENGTH = 64;
constexpr std::size_t RESOLVER_BUFFER_SIZE = 1024;

std::string ReadHostName()
{
    char buffer[HOST_NAME_BUFFER_SIZE];
    buffer[HOST_NAME_BUFFER_SIZE - 1] = '\0';
    if (gethostname(buffer, HOST_NAME_LENGTH) != 0) {
        throw InvalidHostNameException("unable to get hostname");
    }
    return buffer;
}

std::string ResolveHostName(const std::string& hostName)
{
    struct hostent entry;
    struct hostent* result = nullptr;
    char work[RESOLVER_BUFFER_SIZE];
    int resolverError = 0;
    if (gethostbyname_r(hostName.c_str(), &entry, work, sizeof work, &result, &resolverError) != 0) {
        throw InvalidHostNameException(hstrerror(resolverError));
    }
    if (result == nullptr || result->h_name == nullptr) {
        throw InvalidHostNameException("hostname cannot be resolved");
    }
    return result->h_name;
}

}  // namespace

HostIdentity ReadHostIdentity()
{
    HostIdentity identity;
    identity.hostName = ReadHostName();
    identity.resolvedName = ResolveHostName(identity.hostName);
    identity.shortName = identity.hostName.substr(0, identity.hostName.find('.'));
    return identity;
}

}  // namespace authentication
}  // namespace orvane
