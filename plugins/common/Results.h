// Results handed to the library. Every result is one malloc'd block, so the
// single release function the plug-ins hand back is free(): a string array
// or a record array is laid out as its pointers followed by everything they
// point to, and freeing the array frees its strings with it.
#pragma once

#include <orvane/authentication/ActiveDirectoryClient.h>

#include <string>
#include <utility>
#include <vector>

namespace orvauth_plugin {

// Throw StatusError 8 when memory runs out.
char* CopyString(const std::string& text);
char** CopyStringArray(const std::vector<std::string>& texts);
// Records of (DNS name, NetBIOS name).
ActiveDirectoryClientDomainName** CopyDomainNameArray(const std::vector<std::pair<std::string, std::string>>& pairs);

void ReleaseResult(void* pointer);

}  // namespace orvauth_plugin
