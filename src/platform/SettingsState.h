// What the settings functions record, as the services read it.
#pragma once

#include <platform/QelConfigStore.h>

#include <memory>
#include <string>

namespace OrvPlatform {
namespace Detail {

struct ManagementInterfaceSetting {
    std::string name;  // empty: the default-route interface
    bool hasAddress = false;
    std::string address;
};

std::shared_ptr<QelConfigStore::ConfigStore> InstalledConfigStore(const std::string& ns);
ManagementInterfaceSetting ManagementInterface();

// Defined with the feature table itself.
void ResetFeatureList();

}  // namespace Detail
}  // namespace OrvPlatform
