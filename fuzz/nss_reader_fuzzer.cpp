// Name-service switch reader: no input makes a read throw. A service whose
// name starts with '[' and follows a service without parameters is written
// as "previous [name...", which reads back as the previous service's
// status-action group (an empty one when the name goes on with ']'). Each
// round absorbs one such name, so such a reading has yet to settle.
#include "ReaderFuzzing.h"

#include <SystemConfiguration/SystemConfiguration.h>

using namespace SystemConfiguration;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    return CheckReader(data, size, [](std::istream& in) {
        Reading reading;
        NSSConfiguration configuration;
        in >> configuration;
        for (const auto& database : configuration) {
            const NSSConfiguration::Services& services = database.second;
            for (std::size_t i = 1; i < services.size(); ++i)
                reading.settled &= !(services[i].module()[0] == '[' && services[i - 1].parameters().empty());
        }
        std::ostringstream out;
        out << configuration;
        reading.written = out.str();
        return reading;
    });
}
