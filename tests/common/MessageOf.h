// What a call throws, as text, so that tables can list expected messages.
#pragma once

#include <gtest/gtest.h>

#include <exception>
#include <functional>
#include <string>
#include <typeinfo>

namespace orvauth_test {

// The message of the `ExceptionType` that `call` throws, or "" when it
// throws none; any other exception passes through.
template <typename ExceptionType, typename Call>
std::string MessageOf(Call call)
{
    try {
        call();
    } catch (const ExceptionType& e) {
        return e.what();
    }
    return "";
}

// Expects exactly the class `type` and, unless `text` is empty, exactly that
// text; returns the text for checks of its own.
inline std::string ExpectRefused(const std::function<void()>& call, const std::type_info& type,
                                 const std::string& text = "")
{
    try {
        call();
    } catch (const std::exception& error) {
        EXPECT_EQ(type, typeid(error)) << typeid(error).name() << ": " << error.what();
        EXPECT_TRUE(text.empty() || text == error.what()) << error.what() << "\nexpected: " << text;
        return error.what();
    }
    ADD_FAILURE() << "accepted; expected " << type.name() << " " << text;
    return std::string();
}

}  // namespace orvauth_test
