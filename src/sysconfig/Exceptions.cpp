#include <SystemConfiguration/Exceptions.h>

namespace SystemConfiguration {

// Destructors are defined here so each class has one home for its vtable
// and type information, exported from the library: a caller's catch clause
// must match the class the library throws.

InvalidControlException::InvalidControlException(const std::string& message) : message(message) {}
InvalidControlException::~InvalidControlException() = default;
const char* InvalidControlException::what() const noexcept { return message.c_str(); }

InvalidFacilityException::InvalidFacilityException(const std::string& message) : message(message) {}
InvalidFacilityException::~InvalidFacilityException() = default;
const char* InvalidFacilityException::what() const noexcept { return message.c_str(); }

InvalidDatabaseException::InvalidDatabaseException(const std::string& message) : message(message) {}
InvalidDatabaseException::~InvalidDatabaseException() = default;
const char* InvalidDatabaseException::what() const noexcept { return message.c_str(); }

}  // namespace SystemConfiguration
