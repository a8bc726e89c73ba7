// Reaching the library's stores the way every client does: through the
// factory, by display name.
#pragma once

#include <orvane/authentication/ActiveDirectoryStore.h>
#include <orvane/authentication/Stores.h>
#include <orvane/host/Export.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace orvane::host {

ORVAUTHHOST_API extern const char* const DIRECTORY_STORE;  // "Active Directory"

// A store name the factory does not know; the message lists those it knows.
class ORVAUTHHOST_API UnknownStoreName : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

// The names the factory knows, in byte order.
ORVAUTHHOST_API std::vector<std::string> RegisteredStores();

// Throws UnknownStoreName for a name the factory does not know; the store's
// own constructor errors pass through.
ORVAUTHHOST_API std::unique_ptr<orvane::authentication::AuthenticationStore> CreateStore(const std::string& name);

// The directory store; loads the plug-in named in provider.conf.
ORVAUTHHOST_API std::unique_ptr<orvane::authentication::ActiveDirectoryStore> CreateDirectoryStore();

// The store recorded as active in authentication.conf, read without
// creating (and so without loading) any store.
ORVAUTHHOST_API std::string RecordedActiveStore();

// The DNS name of the domain the directory client says the host is joined
// to, or "" when it is not joined.
ORVAUTHHOST_API std::string JoinedDomain();

}  // namespace orvane::host
