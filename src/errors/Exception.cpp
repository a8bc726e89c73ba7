#include <orvane/authentication/Exceptions.h>

#include <cstdio>

namespace orvane {
namespace authentication {

namespace {

std::string CodedMessage(unsigned long code, const std::string& text)
{
    char prefix[48];
    std::snprintf(prefix, sizeof prefix, "Exception 0x%08lx: ", code);
    return prefix + text;
}

}  // namespace

Exception::Exception(const std::string& text) : code(0), message(text) {}

Exception::Exception(unsigned long statusCode, const std::string& text)
    : code(statusCode), message(CodedMessage(statusCode, text))
{
}

Exception::~Exception() = default;

const char* Exception::what() const noexcept { return message.c_str(); }

Exception* Exception::Clone() const { return new Exception(*this); }

void Exception::Throw() const { throw Exception(*this); }

}  // namespace authentication
}  // namespace orvane
