// The membership sandbox (a host in a temporary directory with the
// scriptable directory plug-in and a scripted host name) plus what a join
// through a proxy needs: jorvprovider.conf naming the scriptable proxy, a
// jorvservers.conf trusting one proxy, and the verification option.
#pragma once

#include "ScriptableProxyLoader.h"
#include "membership/MembershipSandbox.h"

#include <string>

namespace jorv_test {

constexpr const char* PROXY_ADDRESS = "192.0.2.80";
constexpr const char* OTHER_PROXY_ADDRESS = "192.0.2.81";
constexpr const char* LISTED_THUMBPRINT = "11:22:33:44:55:66:77:88:99:AA:BB:CC:DD:EE:FF:00:01:02:03:04";
constexpr const char* VERIFY_OPTION = "UserVars.ActiveDirectoryVerifyJORVCertificate";

class JORVSandbox : public membership_test::MembershipSandbox {
protected:
    JORVSandbox();

    std::string ServersPath() const;
    std::string ServersFileBefore() const;

    // Feature switch 57: whether membership and the proxy certificate live
    // in the host configuration store.
    void UseConfigurationStore(bool on);

    ScriptableProxy proxy;
};

}  // namespace jorv_test
