// The host management library's exception: every failure of the host's
// management services (advanced options, IPv4 parsing, configuration store)
// derives from it.
#pragma once

#include <platform/PlatformExport.h>

#include <exception>
#include <string>

namespace NodeCtl {
namespace Lib {

class ORVPLATFORM_API NodeCtlException : public std::exception {
public:
    explicit NodeCtlException(const char* message);
    explicit NodeCtlException(const std::string& message);
    ~NodeCtlException() override;

    const char* what() const noexcept override;

private:
    std::string message;
};

}  // namespace Lib
}  // namespace NodeCtl
