// A status with the reason its plug-in gave: the mapped class and code, the
// reason as the text.
#pragma once

#include <cstdint>
#include <string>

namespace orvane {
namespace authentication {

// The class and code ThrowMappedException(status) throws, with reason in
// place of the status's generic text; that text when reason is empty.
[[noreturn]] void ThrowMappedException(std::uint32_t status, const std::string& reason);

}  // namespace authentication
}  // namespace orvane
