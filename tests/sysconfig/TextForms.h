// Helpers of the model tests: exception messages, name look-ups, and
// reading and writing through string streams, as the tests compare texts.
#pragma once

#include <SystemConfiguration/SystemConfiguration.h>

#include <gtest/gtest.h>

#include <initializer_list>
#include <sstream>
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
// `prefix` followed by the name; a failed assignment keeps the old value.
template <typename Exception, typename Value>
void ExpectUnknownNames(const std::string& prefix, const Value& keep, std::initializer_list<const char*> names)
{
    for (const std::string name : names) {
        SCOPED_TRACE(name);
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

inline SystemConfiguration::PAMPolicy ReadPolicy(const std::string& text)
{
    SystemConfiguration::PAMPolicy policy("test");
    ReadInto(policy, text);
    return policy;
}

inline SystemConfiguration::NSSConfiguration ReadNSS(const std::string& text)
{
    SystemConfiguration::NSSConfiguration configuration;
    ReadInto(configuration, text);
    return configuration;
}

template <typename Model>
std::string Write(const Model& model)
{
    std::ostringstream out;
    out << model;
    return out.str();
}

}  // namespace sysconfig_test
