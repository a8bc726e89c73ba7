// What the reader fuzzers share. A reading is the written form of what was
// read and the refusal that stopped the read ("" if none). Any input reads
// without crashing or hanging; the result does not depend on how the stream
// is buffered; and the written form reads back without refusal and, unless
// the reading says an oddity of its input has yet to settle, to itself.
#pragma once

#include "ChunkedStreamBuffer.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

struct Reading {
    std::string written;
    std::string refusal;
    bool settled = true;
};

template <typename Read>
int CheckReader(const std::uint8_t* data, std::size_t size, Read read)
{
    auto fail = [](const char* what, const Reading& first, const Reading& second) {
        std::fprintf(stderr, "%s\n--- first\n%s%s\n--- second\n%s%s\n", what, first.written.c_str(),
                     first.refusal.c_str(), second.written.c_str(), second.refusal.c_str());
        std::abort();
    };
    auto readText = [&read](const std::string& text) {
        std::istringstream in(text);
        return read(in);
    };
    const std::string input(reinterpret_cast<const char*>(data), size);
    const Reading first = readText(input);
    ChunkedStreamBuffer buffer(input, size % 7);
    std::istream chunkedIn(&buffer);
    const Reading chunked = read(chunkedIn);
    if (chunked.written != first.written || chunked.refusal != first.refusal)
        fail("buffering changed the result", first, chunked);
    const Reading second = readText(first.written);
    if (!second.refusal.empty() || (first.settled && second.written != first.written))
        fail("round trip changed the text", first, second);
    const Reading third = readText(second.written);
    if (!third.refusal.empty() || (second.settled && third.written != second.written))
        fail("second round trip changed the text", second, third);
    return 0;
}
