#include <SystemConfiguration/NSSConfiguration.h>

namespace SystemConfiguration {

NSSConfiguration::NSSConfiguration() = default;
NSSConfiguration::NSSConfiguration(const NSSConfiguration& other) = default;
NSSConfiguration& NSSConfiguration::operator=(const NSSConfiguration& other) = default;
NSSConfiguration::NSSConfiguration(NSSConfiguration&& other) = default;
NSSConfiguration& NSSConfiguration::operator=(NSSConfiguration&& other) = default;
NSSConfiguration::~NSSConfiguration() = default;

NSSConfiguration::Services& NSSConfiguration::operator[](NSSDatabase database)
{
    return std::map<NSSDatabase, Services>::operator[](database);
}

}  // namespace SystemConfiguration
