#include "AccountRequest.h"

#include "base/LogText.h"
#include "base/ProxyProtocol.h"

#include <nlohmann/json.hpp>

namespace orvauth_proxyd {

using namespace orvauth_proxy;

namespace {

nlohmann::json JsonObject(const std::string& text)
{
    nlohmann::json body = nlohmann::json::parse(text, nullptr, false);
    if (!body.is_object()) {
        throw RequestFailure(SERVICE_INVALID_PARAMETER, "the body is not a JSON object");
    }
    return body;
}

std::string TextMember(const nlohmann::json& body, const char* name, bool required)
{
    const auto member = body.find(name);
    if (member == body.end() && !required) {
        return "";
    }
    if (member == body.end() || !member->is_string()) {
        throw RequestFailure(SERVICE_INVALID_PARAMETER, std::string("\"") + name + "\" is missing or not text");
    }
    return member->get<std::string>();
}

}  // namespace

AccountRequest ReadAccountRequest(const std::string& text)
{
    const nlohmann::json body = JsonObject(text);
    for (const auto& member : body.items()) {
        if (member.key() != field::HOST_NAME && member.key() != field::CONTAINER) {
            throw RequestFailure(SERVICE_INVALID_PARAMETER,
                                 "unknown member \"" + orvauth_base::LogText(member.key(), 255) + "\"");
        }
    }
    AccountRequest request{TextMember(body, field::HOST_NAME, true), TextMember(body, field::CONTAINER, false)};
    ComputerNameForHost(request.hostName);
    if (body.contains(field::CONTAINER)) {
        CheckContainer(request.container);
    }
    return request;
}

void ReadDomainInformationRequest(const std::string& body) { JsonObject(body); }

}  // namespace orvauth_proxyd
