#include <orvane/authentication/Configuration.h>

namespace orvane {
namespace authentication {

JORVThumbprintStore::JORVThumbprintStore(const std::string& path) : thumbprints(path) {}

JORVThumbprintStore::~JORVThumbprintStore() = default;

std::string JORVThumbprintStore::LookupThumbprint(const std::string& server)
{
    Configuration::const_iterator found = thumbprints.find(server);
    return found == thumbprints.end() ? std::string() : found->second;
}

void JORVThumbprintStore::ImportThumbprint(const std::string& thumbprint, const std::string& server)
{
    std::pair<Configuration::iterator, bool> entry = thumbprints.insert(std::make_pair(server, thumbprint));
    if (!entry.second) {
        if (entry.first->second == thumbprint) {
            return;  // already trusted: leave the file alone
        }
        entry.first->second = thumbprint;
    }
    thumbprints.Write();
}

}  // namespace authentication
}  // namespace orvane
