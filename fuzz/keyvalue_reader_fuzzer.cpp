// Reads arbitrary bytes as a key/value file. Whatever reads must write and
// read back to the same pairs, unless Write() refuses a pair up front; every
// failure must be one of the library's typed exceptions.
#include <orvane/authentication/Configuration.h>
#include <orvane/authentication/Exceptions.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace orvane::authentication;
    using Map = std::map<std::string, std::string>;
    static const std::string dir = [] {
        char pattern[] = "/tmp/orvauth-fuzz.XXXXXX";
        return mkdtemp(pattern) ? std::string(pattern) : (std::abort(), "");
    }();
    const std::string input = dir + "/input.conf", output = dir + "/output.conf";
    std::ofstream(input, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    try {
        Configuration read(input);
        std::ofstream(output, std::ios::trunc).close();
        Configuration written(output);
        written.insert(read.begin(), read.end());
        try {
            written.Write();
        } catch (const ConfigurationError&) {
            return 0;  // a pair that would not read back is refused before writing
        }
        if (static_cast<const Map&>(Configuration(output)) != static_cast<const Map&>(read)) {
            std::fprintf(stderr, "round trip changed the pairs\n");
            std::abort();
        }
    } catch (const ConfigurationError&) {
    }
    return 0;
}
