// What the reader fuzzers share. A reading is the written form of what was
// read and the refusal that stopped the read ("" if none). Any input reads
// without crashing or hanging; the result does not depend on how the stream
// is buffered; and the written form reads back without refusal and, unless
// the reading says an oddity of its input has yet to settle, to itself.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <streambuf>
#include <string>

// Hands out its text a few bytes at a time, or, with a chunk of 0, one
// character at a time without a get area.
class ChunkedStreamBuffer : public std::streambuf {
public:
    ChunkedStreamBuffer(std::string text, std::size_t chunk) : text(std::move(text)), chunk(chunk) {}

protected:
    int_type underflow() override
    {
        if (position >= text.size() || chunk == 0)
            return position < text.size() ? traits_type::to_int_type(text[position]) : traits_type::eof();
        const std::size_t size = std::min(chunk, text.size() - position);
        setg(&text[position], &text[position], &text[position] + size);
        position += size;
        return traits_type::to_int_type(*gptr());
    }
    int_type uflow() override
    {
        if (chunk != 0 || position >= text.size())
            return chunk != 0 ? std::streambuf::uflow() : traits_type::eof();
        return traits_type::to_int_type(text[position++]);
    }

private:
    std::string text;
    std::size_t chunk, position = 0;
};

struct Reading {
    std::string written;
    std::string refusal;
    bool settled = true;
};

template <typename Read>
int CheckReader(const std::uint8_t* data, std::size_t size, Read read)
{
    auto readText = [&read](const std::string& text) {
        std::istringstream in(text);
        return read(in);
    };
    const std::string input(reinterpret_cast<const char*>(data), size);
    const Reading first = readText(input);
    ChunkedStreamBuffer buffer(input, size % 7);
    std::istream chunkedIn(&buffer);
    const Reading chunked = read(chunkedIn);
    const char* fault = chunked.written != first.written || chunked.refusal != first.refusal ? "buffering" : nullptr;
    // Two round trips: an unsettled first reading must settle in the second.
    Reading previous = first;
    for (int round = 0; fault == nullptr && round < 2; ++round) {
        const Reading next = readText(previous.written);
        if (!next.refusal.empty() || (previous.settled && next.written != previous.written)) {
            fault = "round trip";
            std::fprintf(stderr, "%s\n---\n%s\n", previous.written.c_str(), next.written.c_str());
        }
        previous = next;
    }
    if (fault != nullptr) {
        std::fprintf(stderr, "%s changed the result of:\n%s\n", fault, input.c_str());
        std::abort();
    }
    return 0;
}
