#include <platform/ZodCtl.h>

namespace ZodCtl {
namespace Network {

NetworkConfigException::~NetworkConfigException() = default;

}  // namespace Network
}  // namespace ZodCtl
