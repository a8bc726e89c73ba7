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

// A join the plug-in refused as already joined may be one whose process was
// killed after the plug-in joined and before the record was stored. When the
// plug-in is joined to domainName itself (its DNS or NetBIOS name) and the
// store has no domain record, records it and returns true; otherwise (the
// store is not used, a record exists, another domain) returns false and the
// refusal stands.
bool CompleteInterruptedJoin(const ActiveDirectoryProvider& provider, const std::string& domainName,
                             const std::string& organizationalUnit, const std::string& proxyAddress);

// A leave the plug-in refused as not joined may be one whose process was
// killed after the plug-in left and before the record was removed. Removes
// such a leftover record and returns true; false when there is none.
bool CompleteInterruptedLeave();

// The DN of an organizational unit as the caller wrote it (a path such as
// Servers/Hypervisors, or a DN), in dnsDomainName; "" for "". One that names
// nothing is refused with InvalidParameterException, its text saying why and
// how to write it.
std::string CheckedOrganizationalUnitDN(const std::string& organizationalUnit, const std::string& dnsDomainName);

}  // namespace authentication
}  // namespace orvane
