// What the model tests of this directory share: name tables checked as
// properties, and reading and writing through streams. That the readers give
// the same result however the stream buffers its text is for the fuzzers to
// check on every input.
#pragma once

#include "common/MessageOf.h"

#include <SystemConfiguration/SystemConfiguration.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <sstream>
#include <stdexcept>

namespace sysconfig_test {

using orvauth_test::MessageOf;

// Values 1..named have distinct, case-sensitive names that convert back to
// them and compare equal to them; 0 and `outside` throw `prefix` and their
// number. An unknown name throws `prefix` and the name from construction,
// assignment (which keeps the old value) and comparison.
template <typename Exception, typename Value, typename Enum>
void ExpectNameTable(const std::string& prefix, int named, int outside, std::initializer_list<const char*> unknown)
{
    std::set<std::string> names;
    for (int number = 1; number <= named; ++number) {
        const std::string name = Value(static_cast<Enum>(number));
        EXPECT_TRUE(names.insert(name).second) << name;
        EXPECT_EQ(static_cast<Enum>(Value(name)), number);
        EXPECT_TRUE(Value(static_cast<Enum>(number)) == name);
        const std::string upper = static_cast<char>(std::toupper(name[0])) + name.substr(1);
        EXPECT_EQ(MessageOf<Exception>([&] { Value{upper}; }), prefix + upper);
    }
    for (int number : {0, outside})
        EXPECT_EQ(MessageOf<Exception>([&] { std::string(Value(static_cast<Enum>(number))); }),
                  prefix + std::to_string(number));
    const Value keep{static_cast<Enum>(1)};
    for (const std::string name : unknown) {
        Value target = keep;
        EXPECT_EQ(MessageOf<Exception>([&] { Value value(name); }), prefix + name);
        EXPECT_EQ(MessageOf<Exception>([&] { target = name; }), prefix + name);
        EXPECT_EQ(MessageOf<Exception>([&] { (void)(keep == name); }), prefix + name);
        EXPECT_TRUE(target == keep);
    }
}

template <typename Model>
Model Read(const std::string& text, Model model)
{
    std::istringstream(text) >> model;
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

// A failing stream buffer sets badbit, or rethrows when the exception mask
// asks for badbit; a stream that has already failed gives nothing.
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
