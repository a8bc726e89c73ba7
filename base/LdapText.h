// What the users of libldap share: filter values, the status a failed
// request answers, and the directory's binary SIDs in text.
#pragma once

#include <cstdint>
#include <string>

namespace orvauth_base {

// value with the filter specials escaped (RFC 4515), for use inside a
// filter.
std::string EscapedFilterValue(const std::string& value);

// The status (<orvane/authentication/PluginStatus.h>) for a libldap result
// code other than success.
std::uint32_t StatusOfLdapResult(int result);

// "S-1-5-21-..." for an objectSid value; "" when it is malformed.
std::string SidText(const std::string& binary);

// The owner's SID, in text, of a security descriptor in self-relative form
// (an nTSecurityDescriptor value); "" when the descriptor is malformed or
// names no owner.
std::string OwnerSidText(const std::string& descriptor);

}  // namespace orvauth_base
