#include "adproxy/ProxyAnswer.h"

#include "base/ProxyProtocol.h"

#include "common/StatusError.h"

namespace orvauth_proxy {

using orvauth_plugin::Fail;

std::string RefusalReason(const std::string& refusal, const std::string& settingsFile)
{
    const std::string certificateIn = " (client_certificate and client_key in " + settingsFile + ")";
    if (refusal == "unknown-certificate") {
        return "The authentication proxy did not accept this host's certificate: none was shown, or no certificate "
               "authority it trusts issued it; set the certificate and key the proxy's certificate authority issued "
               "for this host" + certificateIn;
    }
    if (refusal == "revoked") {
        return "The authentication proxy refused this host's certificate as revoked: have a new one issued for this "
               "host and set it" + certificateIn;
    }
    if (refusal == "expired") {
        return "The authentication proxy refused this host's certificate as expired, or its own revocation list "
               "has expired: renew the certificate" + certificateIn +
               ", or have the proxy's administrator publish a current revocation list";
    }
    if (refusal == reason::HOST_NAME) {
        return "The authentication proxy refused this host's name: its certificate names another host, or the "
               "name is outside the domains the proxy serves; use the certificate issued for this host's name" +
               certificateIn;
    }
    if (refusal == reason::NOT_SERVICE_ACCOUNT) {
        return "The authentication proxy refused to reset the machine account: an account of this host's name "
               "exists that the proxy did not create; remove it from the directory, or join with an "
               "administrator's credentials";
    }
    if (refusal == reason::RATE_LIMIT) {
        return "The authentication proxy refused the request: too many account requests with this host's "
               "certificate in the last minute; try again in a minute";
    }
    if (refusal == reason::REQUEST) {
        return "The authentication proxy refused the request as malformed: check the host's name and the "
               "organizational unit";
    }
    if (refusal == reason::DIRECTORY) {
        return "The authentication proxy could not complete the request in the directory; the proxy's log has "
               "the details";
    }
    return "The authentication proxy could not complete the request; the proxy's log has the details";
}

SecretJson AnswerOf(int httpStatus, const orvauth_base::SecretString& body, const std::string& settingsFile)
{
    SecretJson answer = SecretJson::parse(body.begin(), body.end(), nullptr, false);
    orvauth_base::ScrubStack();
    if (httpStatus == 200) {
        if (!answer.is_object()) {
            Fail(ORVAUTH_STATUS_CONNECTION_INVALID);
        }
        return answer;
    }
    // A refusal explains itself with a status and a reason class, unless
    // something in front of the service's handlers (the size bound, an
    // unknown path) answered.
    const auto status = answer.is_object() ? answer.find(field::STATUS_CODE) : answer.end();
    const auto refusal = answer.is_object() ? answer.find(field::REASON) : answer.end();
    const std::string reasonClass =
        refusal != answer.end() && refusal->is_string() ? refusal->get_ref<const SecretString&>().c_str() : "";
    if (status != answer.end() && status->is_number_unsigned() && IsServiceStatus(status->get<std::uint64_t>())) {
        Fail(static_cast<std::uint32_t>(status->get<std::uint64_t>()), RefusalReason(reasonClass, settingsFile));
    }
    const bool malformed = httpStatus == 413 || httpStatus == 400;
    Fail(malformed ? SERVICE_INVALID_PARAMETER : SERVICE_INTERNAL_ERROR,
         RefusalReason(malformed ? reason::REQUEST : reason::INTERNAL, settingsFile));
}

}  // namespace orvauth_proxy
