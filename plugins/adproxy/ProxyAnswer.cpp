#include "adproxy/ProxyAnswer.h"

#include "base/ProxyProtocol.h"

#include "common/StatusError.h"

namespace orvauth_proxy {

SecretJson AnswerOf(int httpStatus, const orvauth_base::SecretString& body)
{
    SecretJson answer = SecretJson::parse(body.begin(), body.end(), nullptr, false);
    orvauth_base::ScrubStack();
    if (httpStatus == 200) {
        if (!answer.is_object()) {
            orvauth_plugin::Fail(ORVAUTH_STATUS_CONNECTION_INVALID);
        }
        return answer;
    }
    // A refusal explains itself with a status, unless something in front of
    // the service's handlers (the size bound, an unknown path) answered.
    const auto status = answer.is_object() ? answer.find(field::STATUS_CODE) : answer.end();
    if (status != answer.end() && status->is_number_unsigned() && IsServiceStatus(status->get<std::uint64_t>())) {
        orvauth_plugin::Fail(static_cast<std::uint32_t>(status->get<std::uint64_t>()));
    }
    orvauth_plugin::Fail(httpStatus == 413 || httpStatus == 400 ? SERVICE_INVALID_PARAMETER : SERVICE_INTERNAL_ERROR);
}

}  // namespace orvauth_proxy
