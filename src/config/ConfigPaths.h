// The fixed files of the configuration directory.
#pragma once

#include "BuildPaths.h"

namespace orvane {
namespace authentication {

constexpr const char AUTHENTICATION_CONF_PATH[] = ORVAUTH_CONFIG_DIR "/authentication.conf";
constexpr const char PROVIDER_CONF_PATH[] = ORVAUTH_CONFIG_DIR "/provider.conf";
constexpr const char JORV_PROVIDER_CONF_PATH[] = ORVAUTH_CONFIG_DIR "/jorvprovider.conf";
constexpr const char JORV_SERVERS_CONF_PATH[] = ORVAUTH_CONFIG_DIR "/jorvservers.conf";

}  // namespace authentication
}  // namespace orvane
