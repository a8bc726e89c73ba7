/* Plug-in authors may write C: the interface headers must compile as C99 and
 * describe the same records the library reads. */
#include <orvane/authentication/ActiveDirectoryClient.h>
#include <orvane/authentication/JORVProxyClient.h>
#include <orvane/authentication/PluginStatus.h>

size_t CMetadataSize(void) { return sizeof(struct ActiveDirectoryClientMetadata); }
size_t COperationsSize(void) { return sizeof(struct ActiveDirectoryClientOperations); }
size_t CCredentialsPasswordOffset(void) { return offsetof(Credentials, password); }
