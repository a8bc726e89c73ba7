// Expects a call to throw exactly one exception class and, unless the
// expected text is empty, exactly that what() text.
#pragma once

#include <gtest/gtest.h>

#include <exception>
#include <functional>
#include <string>
#include <typeinfo>

namespace membership_test {

// Returns the text, for checks of its own.
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

}  // namespace membership_test
