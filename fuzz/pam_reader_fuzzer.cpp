// PAM policy reader: only the model's two exceptions stop a read. A rule
// whose input ended right after its control has no module, and its written
// line takes the next line's first word as module when read again; so only
// the input's own reading may be unsettled, and its written form settles.
#include "ReaderFuzzing.h"

#include <SystemConfiguration/SystemConfiguration.h>

using namespace SystemConfiguration;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    bool firstRound = true;
    return CheckReader(data, size, [&firstRound](std::istream& in) {
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
                reading.settled &= !firstRound || !entry.module().empty();
        firstRound = false;
        std::ostringstream out;
        out << policy;  // everything read has named values, so writing never throws
        reading.written = out.str();
        return reading;
    });
}
