// Text from callers, plug-ins and resolvers on its way into syslog or a
// message: the escaping every part of the product shares.
#pragma once

#include "base/LogText.h"

namespace orvane {
namespace authentication {

using orvauth_base::LogText;

}  // namespace authentication
}  // namespace orvane
