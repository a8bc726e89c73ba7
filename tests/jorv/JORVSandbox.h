// The membership sandbox plus what a join through a proxy needs:
// jorvprovider.conf naming the scriptable plug-in's proxy table, a jorvservers.conf trusting
// one proxy, the verification option set to 1, and a host that resolves.
#pragma once

#include "membership/MembershipSandbox.h"

#include <string>

namespace jorv_test {

constexpr const char* PROXY_ADDRESS = "192.0.2.80";
constexpr const char* OTHER_PROXY_ADDRESS = "192.0.2.81";
constexpr const char* LISTED_THUMBPRINT = "11:22:33:44:55:66:77:88:99:AA:BB:CC:DD:EE:FF:00:01:02:03:04";
constexpr const char* VERIFY_OPTION = "UserVars.ActiveDirectoryVerifyJORVCertificate";

class JORVSandbox : public membership_test::MembershipSandbox {
protected:
    JORVSandbox()
    {
        orvauth_test::WriteFile(ProviderPath(), "provider = \"scriptable\"\n");
        orvauth_test::WriteFile(ServersPath(), ServersFileBefore());
        OrvPlatform::Settings::SetAdvancedIntegerOption(VERIFY_OPTION, 1);
        membership_test::SetHost("node01", "node01.corp.example");
    }

    static std::string ProviderPath() { return orvauth_test::ConfigFile("jorvprovider.conf"); }
    static std::string ServersPath() { return orvauth_test::ConfigFile("jorvservers.conf"); }
    static std::string ServersFileBefore() { return std::string(PROXY_ADDRESS) + " = \"" + LISTED_THUMBPRINT + "\"\n"; }
    // Feature switch 57: whether membership and the proxy certificate live
    // in the host configuration store.
    static void UseConfigurationStore(bool on) { OrvPlatform::Settings::SetFeature(57, on); }
};

}  // namespace jorv_test
