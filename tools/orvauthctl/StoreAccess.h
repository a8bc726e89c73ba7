// Reaching the library's stores the way every client does: through the
// factory, by display name.
#pragma once

#include <orvane/authentication/ActiveDirectoryStore.h>
#include <orvane/authentication/Stores.h>

#include <memory>
#include <string>

namespace orvauthctl {

extern const char* const DIRECTORY_STORE;  // "Active Directory"

orvane::authentication::AuthenticationStoreFactory& Factory();

// Throws UnknownRemoteAuthenticationStoreException for a name the factory
// does not know; the store's own constructor errors pass through.
std::unique_ptr<orvane::authentication::AuthenticationStore> CreateStore(const std::string& name);

// The directory store; loads the plug-in named in provider.conf.
std::unique_ptr<orvane::authentication::ActiveDirectoryStore> CreateDirectoryStore();

// The store recorded as active in authentication.conf, read without
// creating (and so without loading) any store.
std::string RecordedActiveStore();

}  // namespace orvauthctl
