// What the model tests of this directory share: exception messages, name
// look-ups, and reading and writing through streams, as the tests compare texts.
#pragma once

#include "ChunkedStreamBuffer.h"

#include <SystemConfiguration/SystemConfiguration.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <sstream>
#include <stdexcept>
#include <string>

namespace sysconfig_test {

// The message of the `ExceptionType` that `action` throws, or "" when it throws none.
template <typename ExceptionType, typename Action>
std::string MessageOf(Action action)
{
    try {
        action();
    } catch (const ExceptionType& e) {
        return e.what();
    }
    return "";
}

// Construction, assignment and comparison from an unknown name all throw
// `prefix` followed by the name, and a failed assignment keeps the old
// value; turning a value without a name into text throws `prefix` followed
// by its number.
template <typename Exception, typename Value, typename Enum>
void ExpectUnknownNames(const std::string& prefix, const Value& keep, std::initializer_list<const char*> names,
                        std::initializer_list<Enum> unnamed)
{
    for (const std::string name : names) {
        SCOPED_TRACE(name);
        EXPECT_EQ(MessageOf<Exception>([&] { Value value(name); }), prefix + name);
        Value target = keep;
        EXPECT_EQ(MessageOf<Exception>([&] { target = name; }), prefix + name);
        EXPECT_TRUE(target == keep);
        EXPECT_EQ(MessageOf<Exception>([&] { (void)(keep == name); }), prefix + name);
    }
    for (Enum value : unnamed)
        EXPECT_EQ(MessageOf<Exception>([&] { std::string text = Value(value); }), prefix + std::to_string(value));
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
// stream buffer's get area directly, so the text is also read in small
// pieces and a character at a time without a get area, which must make no
// difference.
template <typename Model>
std::string ReadThenWrite(const std::string& text, const Model& model)
{
    const std::string written = Write(Read(text, model));
    for (std::size_t chunk : {0, 1, 2, 3, 5, 7, 13}) {
        SCOPED_TRACE(chunk == 0 ? std::string("read unbuffered") : "read in chunks of " + std::to_string(chunk));
        Model pieces = model;
        ChunkedStreamBuffer buffer(text, chunk);
        std::istream in(&buffer);
        in >> pieces;
        EXPECT_EQ(Write(pieces), written);
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
    EXPECT_TRUE(throwing.bad());
    failed >> target;
    EXPECT_EQ(Write(target), Write(model));
}

}  // namespace sysconfig_test
