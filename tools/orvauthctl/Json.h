// The --json output: one compact document per run, keys in the order they
// were added. Text that is not valid UTF-8 (names read from files and
// plug-ins) is written with U+FFFD in place of the bad bytes, so the
// document always parses.
#pragma once

#include <nlohmann/json.hpp>

#include <ostream>

namespace orvauthctl {

using Json = nlohmann::ordered_json;

inline void PrintJson(std::ostream& out, const Json& document)
{
    out << document.dump(-1, ' ', false, Json::error_handler_t::replace) << '\n';
}

}  // namespace orvauthctl
