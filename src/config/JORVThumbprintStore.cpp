#include "config/ConfigPaths.h"

#include <orvane/authentication/Configuration.h>

namespace orvane {
namespace authentication {

JORVThumbprintStore::JORVThumbprintStore(const std::string& path) : thumbprints(path) {}

JORVThumbprintStore::JORVThumbprintStore() : thumbprints(JORV_SERVERS_CONF_PATH) {}

JORVThumbprintStore::~JORVThumbprintStore() = default;

std::string JORVThumbprintStore::LookupThumbprint(const std::string& server)
{
    Configuration::const_iterator found = thumbprints.find(server);
    return found == thumbprints.end() ? std::string() : found->second;
}

void JORVThumbprintStore::ImportThumbprint(const std::string& thumbprint, const std::string& server)
{
    std::pair<Configuration::iterator, bool> entry = thumbprints.insert(std::make_pair(server, thumbprint));
    std::string previous;
    if (!entry.second) {
        if (entry.first->second == thumbprint) {
            return;  // already trusted: leave the file alone
        }
        previous.swap(entry.first->second);
        entry.first->second = thumbprint;
    }
    try {
        thumbprints.Write();
    } catch (...) {
        // A refused import leaves the store as the file still has it.
        if (entry.second) {
            thumbprints.erase(entry.first);
        } else {
            entry.first->second.swap(previous);
        }
        throw;
    }
}

}  // namespace authentication
}  // namespace orvane
