#include "base/HostIdentity.h"

#include <netdb.h>
#include <unistd.h>

namespace orvauth_base {

namespace {

// gethostname is told one byte less than the buffer holds, and that byte is
// a NUL of our own, so the name is terminated even where the system
// truncates without terminating.
constexpr std::size_t HOST_NAME_BUFFER_SIZE = 65;
constexpr std::size_t HOST_NAME_LENGTH = 64;
constexpr std::size_t RESOLVER_BUFFER_SIZE = 1024;

}  // namespace

std::string ReadHostIdentity(HostIdentity& identity)
{
    identity = HostIdentity();
    char buffer[HOST_NAME_BUFFER_SIZE];
    buffer[HOST_NAME_BUFFER_SIZE - 1] = '\0';
    if (gethostname(buffer, HOST_NAME_LENGTH) != 0) {
        return "unable to get hostname";
    }
    identity.hostName = buffer;
    identity.shortName = identity.hostName.substr(0, identity.hostName.find('.'));
    struct hostent entry;
    struct hostent* result = nullptr;
    char work[RESOLVER_BUFFER_SIZE];
    int resolverError = 0;
    if (gethostbyname_r(buffer, &entry, work, sizeof work, &result, &resolverError) != 0) {
        return hstrerror(resolverError);
    }
    if (result == nullptr || result->h_name == nullptr) {
        return "hostname cannot be resolved";
    }
    identity.resolvedName = result->h_name;
    return "";
}

}  // namespace orvauth_base
