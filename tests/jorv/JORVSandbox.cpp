#include "JORVSandbox.h"

#include "common/Files.h"

#include <platform/PlatformSettings.h>

namespace jorv_test {

namespace Settings = OrvPlatform::Settings;

JORVSandbox::JORVSandbox()
{
    orvauth_test::WriteFile(orvauth_test::ConfigFile("jorvprovider.conf"), "provider = \"jorvproxy\"\n");
    orvauth_test::WriteFile(ServersPath(), ServersFileBefore());
    Settings::SetAdvancedIntegerOption(VERIFY_OPTION, 1);
    membership_test::SetHostName("node01");
    membership_test::SetResolution("node01", "node01.corp.example");
}

std::string JORVSandbox::ServersPath() const { return orvauth_test::ConfigFile("jorvservers.conf"); }

std::string JORVSandbox::ServersFileBefore() const
{
    return std::string(PROXY_ADDRESS) + " = \"" + LISTED_THUMBPRINT + "\"\n";
}

void JORVSandbox::UseConfigurationStore(bool on) { Settings::SetFeature(57, on); }

}  // namespace jorv_test
