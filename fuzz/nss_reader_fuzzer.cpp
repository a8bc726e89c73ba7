// Name-service switch reader: any input reads without crashing, hanging or
// throwing; what it read writes and reads back to the same text (see
// WritesAsAGroup for the one exception); and the result does not depend on
// how the stream is buffered.

#include "ChunkedStreamBuffer.h"

#include <SystemConfiguration/SystemConfiguration.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

using namespace SystemConfiguration;

namespace {

std::string Write(const NSSConfiguration& configuration)
{
    std::ostringstream out;
    out << configuration;
    return out.str();
}

NSSConfiguration Read(std::istream& in)
{
    NSSConfiguration configuration;
    in >> configuration;
    return configuration;
}

NSSConfiguration ReadText(const std::string& text)
{
    std::istringstream in(text);
    return Read(in);
}

// A service whose name starts with '[' and which follows a service without
// parameters is written as "previous [name...", which reads back as the
// previous service's status-action group (an empty one when the name goes
// on with ']'). Each round of reading and writing absorbs one such name, so
// only a configuration without them is expected to come back unchanged.
bool WritesAsAGroup(const NSSConfiguration& configuration)
{
    for (const auto& database : configuration) {
        const NSSConfiguration::Services& services = database.second;
        for (std::size_t i = 1; i < services.size(); ++i)
            if (services[i].module()[0] == '[' && services[i - 1].parameters().empty())
                return true;
    }
    return false;
}

void Fail(const char* what, const std::string& first, const std::string& second)
{
    std::fprintf(stderr, "%s\n--- first\n%s\n--- second\n%s\n", what, first.c_str(), second.c_str());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::istringstream in(input);
    const NSSConfiguration configuration = Read(in);
    const std::string first = Write(configuration);

    ChunkedStreamBuffer buffer(input, size % 7);
    std::istream chunkedIn(&buffer);
    const std::string chunked = Write(Read(chunkedIn));
    if (chunked != first)
        Fail("buffering changed the result", first, chunked);

    // Checked for what the input read to and for its written form read again.
    const NSSConfiguration reread = ReadText(first);
    const std::string second = Write(reread);
    if (!WritesAsAGroup(configuration) && second != first)
        Fail("round trip changed the text", first, second);
    const std::string third = Write(ReadText(second));
    if (!WritesAsAGroup(reread) && third != second)
        Fail("second round trip changed the text", second, third);
    return 0;
}
