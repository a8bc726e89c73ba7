// PAM policy reader: any input reads without crashing or hanging, raising
// only the model's two exceptions; what it read writes and reads back to the
// same text; and the result does not depend on how the stream is buffered.

#include "ChunkedStreamBuffer.h"

#include <SystemConfiguration/SystemConfiguration.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

using namespace SystemConfiguration;

namespace {

// The written policy, and the refusal that stopped the read ("" if none).
struct Reading {
    std::string written;
    std::string refusal;
    bool ruleWithoutModule = false;
};

Reading Read(std::istream& in)
{
    Reading reading;
    PAMPolicy policy("fuzz");
    try {
        in >> policy;
    } catch (const InvalidFacilityException& e) {
        reading.refusal = std::string("facility: ") + e.what();
    } catch (const InvalidControlException& e) {
        reading.refusal = std::string("control: ") + e.what();
    }
    for (const auto& stack : policy.GetStacks())
        for (const PAMEntry& entry : stack.second)
            reading.ruleWithoutModule |= entry.module().empty();
    // Everything read has named values, so writing never throws.
    std::ostringstream out;
    out << policy;
    reading.written = out.str();
    return reading;
}

Reading ReadText(const std::string& text)
{
    std::istringstream in(text);
    return Read(in);
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
    const Reading first = ReadText(input);

    ChunkedStreamBuffer buffer(input, size % 7);
    std::istream chunkedIn(&buffer);
    const Reading chunked = Read(chunkedIn);
    if (chunked.written != first.written || chunked.refusal != first.refusal)
        Fail("buffering changed the result", first.written + first.refusal, chunked.written + chunked.refusal);

    // The written form must read back without complaint. A rule whose input
    // ended right after its control has no module, and its written line
    // takes the next line's first word as module when read again; one more
    // round settles it.
    const Reading second = ReadText(first.written);
    if (!second.refusal.empty())
        Fail("written form refused", first.written, second.refusal);
    if (!first.ruleWithoutModule && second.written != first.written)
        Fail("round trip changed the text", first.written, second.written);
    const Reading third = ReadText(second.written);
    if (!third.refusal.empty() || third.written != second.written)
        Fail("second round trip changed the text", second.written, third.written + third.refusal);
    return 0;
}
