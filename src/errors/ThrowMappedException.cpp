#include "errors/MappedFailure.h"
#include "errors/StatusCodeTable.h"

#include <orvane/authentication/Exceptions.h>
#include <orvane/authentication/PluginStatus.h>

namespace orvane {
namespace authentication {

// Builds the mapped classes, whose coded constructors are private: outside
// this file they come into being only through the mapping, Clone and Throw.
class ExceptionFactory {
public:
    [[noreturn]] static void ThrowFor(std::uint32_t status)
    {
        switch (status) {
#define ORVAUTH_THROW_ROW(value, Name, text) \
    case value:                              \
        throw Name(value, text);
            ORVAUTH_STATUS_CODE_TABLE(ORVAUTH_THROW_ROW)
#undef ORVAUTH_THROW_ROW
        default:
            throw UnknownException(status);
        }
    }

    [[noreturn]] static void ThrowFor(std::uint32_t status, const std::string& reason)
    {
        switch (status) {
#define ORVAUTH_THROW_REASON_ROW(value, Name, text) \
    case value:                                     \
        throw Name(value, reason);
            ORVAUTH_STATUS_CODE_TABLE(ORVAUTH_THROW_REASON_ROW)
#undef ORVAUTH_THROW_REASON_ROW
        default:
            throw UnknownException(status, reason);
        }
    }
};

#define ORVAUTH_DEFINE_MAPPED(value, Name, text)                              \
    Name::~Name() = default;                                                  \
    Name* Name::Clone() const { return new Name(*this); }                     \
    void Name::Throw() const { throw Name(*this); }
ORVAUTH_STATUS_CODE_TABLE(ORVAUTH_DEFINE_MAPPED)
#undef ORVAUTH_DEFINE_MAPPED

namespace {

// Every status the plug-in authors' header names has its own exception.
constexpr bool HasRow(std::uint32_t status)
{
#define ORVAUTH_HAS_ROW(value, Name, text) \
    if (status == (value)) {               \
        return true;                       \
    }
    ORVAUTH_STATUS_CODE_TABLE(ORVAUTH_HAS_ROW)
#undef ORVAUTH_HAS_ROW
    return false;
}
#define ORVAUTH_CHECK_ROW(name, code) static_assert(HasRow(code), #name " has no row in StatusCodeTable.h");
ORVAUTH_PLUGIN_STATUS_TABLE(ORVAUTH_CHECK_ROW)
#undef ORVAUTH_CHECK_ROW

const char* MappedText(std::uint32_t status)
{
    switch (status) {
#define ORVAUTH_TEXT_ROW(value, Name, text) \
    case value:                             \
        return text;
        ORVAUTH_STATUS_CODE_TABLE(ORVAUTH_TEXT_ROW)
#undef ORVAUTH_TEXT_ROW
    default:
        return "Unknown exception";
    }
}

}  // namespace

// The six classes that other parts of the library throw directly.
FileNotFoundException::FileNotFoundException() : Exception(2, MappedText(2)) {}
NotEnoughMemoryException::NotEnoughMemoryException() : Exception(8, MappedText(8)) {}
CallNotImplementedException::CallNotImplementedException() : Exception(120, MappedText(120)) {}
ConnectionRefusedException::ConnectionRefusedException() : Exception(1225, MappedText(1225)) {}
ConnectionInvalidException::ConnectionInvalidException() : Exception(1229, MappedText(1229)) {}
WSATimedOutException::WSATimedOutException() : Exception(10060, MappedText(10060)) {}

void ThrowMappedException(std::uint32_t status) { ExceptionFactory::ThrowFor(status); }

void ThrowMappedException(std::uint32_t status, const std::string& reason)
{
    if (reason.empty()) {
        ExceptionFactory::ThrowFor(status);
    }
    ExceptionFactory::ThrowFor(status, reason);
}

}  // namespace authentication
}  // namespace orvane
