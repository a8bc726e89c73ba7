// What a call throws, as text, so that tables can list expected messages.
#pragma once

#include <string>

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

}  // namespace orvauth_test
