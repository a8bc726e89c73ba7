// Keeps the domain record in the host configuration store in step with a
// join: shared by the join with credentials and the join through a proxy.
#pragma once

#include <string>

namespace orvane {
namespace authentication {

class ActiveDirectoryProvider;

// After a successful join, records the membership when the host uses the
// configuration store. If the record cannot be stored, logs it, leaves the
// domain again and rethrows the store's exception (or the leave's, if the
// leave fails too).
void RecordMembershipOrLeave(const ActiveDirectoryProvider& provider, const std::string& dnsDomainName,
                             const std::string& organizationalUnit, const std::string& proxyAddress);

}  // namespace authentication
}  // namespace orvane
