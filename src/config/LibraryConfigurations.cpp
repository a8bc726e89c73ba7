#include "config/ConfigPaths.h"

#include <orvane/authentication/Configuration.h>

namespace orvane {
namespace authentication {

std::string ConfigurationDirectory() { return ORVAUTH_CONFIG_DIR; }
std::string PluginDirectory() { return ORVAUTH_PLUGIN_DIR; }

AuthenticationConfiguration::AuthenticationConfiguration() : Configuration(AUTHENTICATION_CONF_PATH) {}
AuthenticationConfiguration::~AuthenticationConfiguration() = default;

ProviderConfiguration::ProviderConfiguration() : Configuration(PROVIDER_CONF_PATH) {}
ProviderConfiguration::~ProviderConfiguration() = default;

std::string ProviderConfiguration::DefaultPath() { return PROVIDER_CONF_PATH; }

const std::string& AuthenticationConfiguration::ActiveStore() const { return (*this)["remote-authentication-store"]; }

JORVProviderConfiguration::JORVProviderConfiguration() : Configuration(JORV_PROVIDER_CONF_PATH) {}
JORVProviderConfiguration::~JORVProviderConfiguration() = default;

}  // namespace authentication
}  // namespace orvane
