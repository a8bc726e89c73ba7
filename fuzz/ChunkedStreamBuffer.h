// A read-only stream buffer that hands out its text a few bytes at a time,
// or, with a chunk of 0, one character at a time without a get area: the
// readers must give the same result as over one contiguous buffer.
#pragma once

#include <algorithm>
#include <cstddef>
#include <streambuf>
#include <string>

class ChunkedStreamBuffer : public std::streambuf {
public:
    ChunkedStreamBuffer(std::string text, std::size_t chunk) : text(std::move(text)), chunk(chunk) {}

protected:
    int_type underflow() override
    {
        if (position >= text.size())
            return traits_type::eof();
        if (chunk == 0)
            return traits_type::to_int_type(text[position]);
        char* begin = &text[position];
        const std::size_t size = std::min(chunk, text.size() - position);
        setg(begin, begin, begin + size);
        position += size;
        return traits_type::to_int_type(*begin);
    }

    int_type uflow() override
    {
        if (chunk != 0)
            return std::streambuf::uflow();
        if (position >= text.size())
            return traits_type::eof();
        return traits_type::to_int_type(text[position++]);
    }

private:
    std::string text;
    std::size_t chunk;
    std::size_t position = 0;
};
