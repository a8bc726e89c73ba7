#include <orvane/authentication/Configuration.h>

namespace orvane {
namespace authentication {

template <>
std::string string_cast<int>(const int& value)
{
    return std::to_string(value);
}

}  // namespace authentication
}  // namespace orvane
