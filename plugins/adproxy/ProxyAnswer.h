// What the plug-in makes of the service's answer: whatever a hostile or
// broken service sends, a JSON object or a typed failure, never a crash.
#pragma once

#include "base/Secret.h"

#include <nlohmann/json.hpp>

#include <map>
#include <vector>

namespace orvauth_proxy {

// A JSON document whose strings, keys and parser buffers live in wiped memory.
using SecretJson = nlohmann::basic_json<std::map, std::vector, orvauth_base::SecretString>;

// The JSON object of a 200 answer. Throws orvauth_plugin::StatusError: the
// service's own status for a refusal it explains (ProxyProtocol.h), 1229
// for a 200 answer that is not a JSON object, 87 for 400 and 413 without
// an explanation, 1359 for anything else.
SecretJson AnswerOf(int httpStatus, const orvauth_base::SecretString& body);

}  // namespace orvauth_proxy
