// Exceptions of the PAM and name-service switch model.
//
// They derive from std::exception directly rather than from the library's
// own exception root: the model is a self-contained value layer that callers
// may use without the rest of the library, and its errors carry nothing but
// a message.
#pragma once

#include <orvane/authentication/Export.h>

#include <exception>
#include <string>

namespace SystemConfiguration {

// A control text that is neither one of the six control names nor a
// bracketed control, or an unset control being turned into text.
// Message: "Invalid Control: " + the text as given (or the numeric value).
class ORVAUTH_API InvalidControlException : public std::exception {
public:
    explicit InvalidControlException(const std::string& message);
    ~InvalidControlException() override;
    const char* what() const noexcept override;

private:
    std::string message;
};

// An unknown facility name (for example "@include" or "-auth"), or an unset
// facility being turned into text.
// Message: "Invalid Facility: " + the name as given (or the numeric value).
class ORVAUTH_API InvalidFacilityException : public std::exception {
public:
    explicit InvalidFacilityException(const std::string& message);
    ~InvalidFacilityException() override;
    const char* what() const noexcept override;

private:
    std::string message;
};

// An unknown name-service database name, or an unset database being turned
// into text. Message: "Invalid Database: " + the name (or the numeric value).
class ORVAUTH_API InvalidDatabaseException : public std::exception {
public:
    explicit InvalidDatabaseException(const std::string& message);
    ~InvalidDatabaseException() override;
    const char* what() const noexcept override;

private:
    std::string message;
};

}  // namespace SystemConfiguration
