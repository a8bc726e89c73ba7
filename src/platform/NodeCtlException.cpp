#include <platform/NodeCtlException.h>

namespace NodeCtl {
namespace Lib {

NodeCtlException::NodeCtlException(const char* message) : message(message ? message : "") {}

NodeCtlException::NodeCtlException(const std::string& message) : message(message) {}

NodeCtlException::~NodeCtlException() = default;

const char* NodeCtlException::what() const noexcept { return message.c_str(); }

}  // namespace Lib
}  // namespace NodeCtl
