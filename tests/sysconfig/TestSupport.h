// What the model tests of this directory share: name tables checked as
// properties, and reading and writing through streams.
#pragma once

#include "ChunkedStreamBuffer.h"
#include "common/MessageOf.h"

#include <SystemConfiguration/SystemConfiguration.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>

namespace sysconfig_test {

using orvauth_test::MessageOf;

// Values 1..named have distinct names that convert back to them, compare
// equal to them and are case-sensitive; 0 and `outside` throw `prefix` and
// their number. An unknown name throws `prefix` and the name from
// construction, assignment (keeping the old value) and comparison.
template <typename Exception, typename Value, typename Enum>
void ExpectNameTable(const std::string& prefix, int named, int outside, std::initializer_list<const char*> unknown)
{
    std::set<std::string> names;
    for (int number = 0; number <= named + 1; ++number) {
        const Value value{static_cast<Enum>(number > named ? outside : number)};
        if (number == 0 || number > named) {
            EXPECT_EQ(MessageOf<Exception>([&] { std::string text = value; }),
                      prefix + std::to_string(number > named ? outside : number));
            continue;
        }
        const std::string name = value;
        EXPECT_TRUE(names.insert(name).second) << name;
        EXPECT_EQ(static_cast<Enum>(Value(name)), number);
        EXPECT_TRUE(value == name);
        std::string upper = name;
        upper[0] = static_cast<char>(std::toupper(upper[0]));
        EXPECT_EQ(MessageOf<Exception>([&] { Value{upper}; }), prefix + upper);
    }
    const Value keep{static_cast<Enum>(1)};
    for (const std::string name : unknown) {
        EXPECT_EQ(MessageOf<Exception>([&] { Value value(name); }), prefix + name);
        Value target = keep;
        EXPECT_EQ(MessageOf<Exception>([&] { target = name; }), prefix + name);
        EXPECT_TRUE(target == keep);
        EXPECT_EQ(MessageOf<Exception>([&] { (void)(keep == name); }), prefix + name);
    }
}

template <typename Model>
void ReadInto(Model& model, const std::string& text)
{
    std::istringstream in(text);
    in >> model;
}

template <typename Model>
Model Read(const std::string& text, Model model)
{
    ReadInto(model, text);
    return model;
}

// Also checks that every line is flushed as it is written.
template <typename Model>
std::string Write(const Model& model)
{
    struct FlushCounter : std::stringbuf {
        long syncs = 0;
        int sync() override { return ++syncs, 0; }
    } buffer;
    std::ostream(&buffer) << model;
    const std::string written = buffer.str();
    EXPECT_EQ(buffer.syncs, std::count(written.begin(), written.end(), '\n'));
    return written;
}

// The written form of `text` read into `model`. The readers work on the
// stream buffer's get area directly, so the text is also read in pieces and
// a character at a time without a get area, which must make no difference.
template <typename Model>
std::string ReadThenWrite(const std::string& text, const Model& model)
{
    const std::string written = Write(Read(text, model));
    for (std::size_t chunk : {0, 1, 3}) {
        Model pieces = model;
        ChunkedStreamBuffer buffer(text, chunk);
        std::istream in(&buffer);
        in >> pieces;
        EXPECT_EQ(Write(pieces), written) << "chunks of " << chunk;
        EXPECT_TRUE(in.eof() && !in.bad());
    }
    return written;
}

// Readers report a failing stream buffer through badbit, or rethrow its
// failure when the exception mask asks for badbit, and read nothing from a
// stream that has already failed.
template <typename Model>
void ExpectFailedStreamsReadNothing(const Model& model, const std::string& text)
{
    struct FailingBuffer : std::streambuf {
        int_type underflow() override { throw std::runtime_error("device gone"); }
    } failing;
    std::istream reporting(&failing), throwing(&failing);
    std::istringstream failed(text);
    failed.setstate(std::ios_base::failbit);
    throwing.exceptions(std::ios_base::badbit);
    Model target = model;
    reporting >> target;
    EXPECT_TRUE(reporting.bad());
    EXPECT_THROW(throwing >> target, std::runtime_error);
    failed >> target;
    EXPECT_EQ(Write(target), Write(model));
}

}  // namespace sysconfig_test
