// The plug-in's reading of a hostile service's answer (first byte: the HTTP status; the
// rest: the body): a JSON object for a 200, else a failure with a status the host knows.
#include "adproxy/ProxyAnswer.h"
#include "base/ProxyProtocol.h"
#include "common/StatusError.h"

#include <cstdint>
#include <cstdlib>

using namespace orvauth_proxy;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const int statuses[] = {200, 400, 403, 404, 413, 429, 500, 502};
    if (size == 0) {
        return 0;
    }
    const int httpStatus = statuses[data[0] % 8];
    try {
        const SecretJson answer =
            AnswerOf(httpStatus, SecretString(reinterpret_cast<const char*>(data) + 1, size - 1), "adproxy.conf");
        if (httpStatus != 200 || !answer.is_object()) {
            std::abort();
        }
    } catch (const orvauth_plugin::StatusError& error) {
        if (!IsServiceStatus(error.status) && error.status != SERVICE_INTERNAL_ERROR &&
            (error.status != ORVAUTH_STATUS_CONNECTION_INVALID || httpStatus != 200)) {
            std::abort();
        }
    }
    return 0;
}
