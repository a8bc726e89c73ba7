// What the plug-in makes of the service's answer: whatever a hostile or
// broken service sends, a JSON object or a typed failure, never a crash.
#pragma once

#include "base/Secret.h"

#include <nlohmann/json.hpp>

#include <map>
#include <string>
#include <vector>

namespace orvauth_proxy {

// A JSON document whose strings, keys and parser buffers live in wiped memory.
using SecretJson = nlohmann::basic_json<std::map, std::vector, orvauth_base::SecretString>;

using orvauth_base::SecretString;

// The JSON object of a 200 answer. Throws orvauth_plugin::StatusError: the
// service's own status for a refusal it explains (ProxyProtocol.h), 1229
// for a 200 answer that is not a JSON object, 87 for 400 and 413 without
// an explanation, 1359 for anything else; a refusal notes the reason the
// operator reads (RefusalReason).
SecretJson AnswerOf(int httpStatus, const SecretString& body, const std::string& settingsFile);

// What a refusal means to the operator, by the service's reason class or
// the TLS alert it sent, and what to do; settingsFile names where the
// host's certificate and key are set.
std::string RefusalReason(const std::string& refusal, const std::string& settingsFile);

}  // namespace orvauth_proxy
