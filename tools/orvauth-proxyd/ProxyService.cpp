#include "ProxyService.h"

#include "AccessPolicy.h"
#include "TlsContext.h"
#include "base/LogText.h"
#include "base/ProxyProtocol.h"

#include <boost/asio/ssl/context.hpp>
#include <nlohmann/json.hpp>

#include <syslog.h>
#include <thread>

namespace orvauth_proxyd {

using namespace orvauth_proxy;
using namespace orvauth_base;

namespace {

// Client-supplied text in a log line: escaped, bounded.
std::string Printable(const std::string& text) { return orvauth_base::LogText(text, 255); }

int HttpStatusFor(std::uint32_t status)
{
    switch (status) {
    case SERVICE_INVALID_PARAMETER:
    case SERVICE_INVALID_COMPUTER_NAME:
        return 400;
    case SERVICE_ACCESS_DENIED:
        return 403;
    case SERVICE_BUSY:
        return 429;
    case SERVICE_NO_SUCH_DOMAIN:
    case SERVICE_LOGON_FAILURE:
        return 502;
    default:
        return 500;
    }
}

// What a client learns of a refusal: its status and a text that says no
// more than the status (the details are in the log).
const char* GenericText(std::uint32_t status)
{
    switch (status) {
    case SERVICE_ACCESS_DENIED:
        return "access denied";
    case SERVICE_INVALID_PARAMETER:
        return "the request is not valid";
    case SERVICE_INVALID_COMPUTER_NAME:
        return "the host name cannot name a machine account";
    case SERVICE_PASSWORD_RESTRICTION:
        return "the directory refused the password";
    case SERVICE_BUSY:
        return "too many requests; try again later";
    default:
        return "the service cannot complete the request";
    }
}

Answer Refusal(std::uint32_t status, const char* reasonClass)
{
    Answer answer;
    answer.httpStatus = HttpStatusFor(status);
    answer.body = nlohmann::json{{field::STATUS_CODE, status},
                                 {field::MESSAGE, GenericText(status)},
                                 {field::REASON, reasonClass}}
                      .dump()
                      .c_str();
    return answer;
}

Answer Refusal(const RequestFailure& failure) { return Refusal(failure.status, failure.reason); }

nlohmann::json RequestBody(const IncomingRequest& request)
{
    nlohmann::json body = nlohmann::json::parse(request.body, nullptr, false);
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

std::string JsonText(const std::string& text)
{
    return nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace

ProxyService::ProxyService(const ServiceConfiguration& settings_, Directory& directory_, FrontEndLimits limits)
    : settings(settings_), directory(directory_), accountRequests(settings_.maxAccountRequestsPerMinute)
{
    front = std::make_unique<FrontEnd>([this](const IncomingRequest& request) { return Handle(request); },
                                       ServerTlsContext(settings), limits);
}

ProxyService::~ProxyService() = default;

void ProxyService::Reload(const ServiceConfiguration& fresh)
{
    front->ReplaceTls(ServerTlsContext(fresh));
    accountRequests.SetLimit(fresh.maxAccountRequestsPerMinute);
    if (fresh.listenAddress != settings.listenAddress || fresh.listenPort != settings.listenPort) {
        syslog(LOG_WARNING, "a new listen address or port takes effect only when the service is restarted");
    }
}

Answer ProxyService::Handle(const IncomingRequest& request)
{
    if (request.client.fingerprint.empty()) {
        // The handshake asks for a certificate: this is a fault of ours.
        syslog(LOG_ERR, "%s from %s: no client certificate after the handshake", Printable(request.target).c_str(),
               request.remoteAddress.c_str());
        Answer answer = Refusal(SERVICE_ACCESS_DENIED, reason::INTERNAL);
        answer.httpStatus = 401;
        return answer;
    }
    if (request.method == "POST" && request.target == DOMAIN_INFORMATION_PATH) {
        return AnswerDomainInformation(request);
    }
    if (request.method == "POST" && request.target == MACHINE_ACCOUNT_PATH) {
        return AnswerMachineAccount(request);
    }
    syslog(LOG_WARNING, "%s %s from %s (%s): not a request of this service", Printable(request.method).c_str(),
           Printable(request.target).c_str(), request.remoteAddress.c_str(), request.client.Described().c_str());
    Answer answer = Refusal(SERVICE_INVALID_PARAMETER, reason::REQUEST);
    answer.httpStatus = request.method == "POST" ? 404 : 405;
    return answer;
}

Answer ProxyService::AnswerDomainInformation(const IncomingRequest& request)
{
    try {
        RequestBody(request);
        const DomainInformation information = directory.Describe();
        const nlohmann::json body = {{field::NETBIOS_NAME, information.netbiosName},
                                     {field::DNS_NAME, information.dnsName},
                                     {field::SID, information.sid}};
        syslog(LOG_INFO, "domain information for %s (%s): %s", request.remoteAddress.c_str(),
               Printable(request.client.hostName).c_str(), information.dnsName.c_str());
        Answer answer;
        answer.body = body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace).c_str();
        return answer;
    } catch (const RequestFailure& failure) {
        syslog(LOG_WARNING, "domain information for %s (%s) refused (%u): %s", request.remoteAddress.c_str(),
               request.client.Described().c_str(), failure.status, failure.what());
        return Refusal(failure);
    }
}

Answer ProxyService::AnswerMachineAccount(const IncomingRequest& request)
{
    std::string hostName;
    try {
        const nlohmann::json body = RequestBody(request);
        for (const auto& member : body.items()) {
            if (member.key() != field::HOST_NAME && member.key() != field::CONTAINER) {
                throw RequestFailure(SERVICE_INVALID_PARAMETER, "unknown member \"" + Printable(member.key()) + "\"");
            }
        }
        hostName = TextMember(body, field::HOST_NAME, true);
        const std::string container = TextMember(body, field::CONTAINER, false);
        ComputerNameForHost(hostName);
        if (body.contains(field::CONTAINER)) {
            CheckContainer(container);
        }
        if (!HostNameMatchesCertificate(hostName, request.client.hostName)) {
            throw RequestFailure(SERVICE_ACCESS_DENIED,
                                 "the certificate names the host \"" + Printable(request.client.hostName) + "\"",
                                 reason::HOST_NAME);
        }
        if (!accountRequests.Admit(request.client.fingerprint)) {
            throw RequestFailure(SERVICE_BUSY, "the certificate's account requests in the last minute reached the limit");
        }
        const SecretString password = NewOneTimePassword();
        const CreatedAccount account = directory.CreateOrReset(hostName, container, password);
        // The answer is built in wiped memory and sent from there.
        Answer answer;
        answer.body.reserve(MAX_BODY_BYTES);
        answer.body += "{\"";
        answer.body += field::ACCOUNT_NAME;
        answer.body += "\":";
        answer.body += JsonText(account.accountName).c_str();
        answer.body += ",\"";
        answer.body += field::ACCOUNT_DN;
        answer.body += "\":";
        answer.body += JsonText(account.dn).c_str();
        answer.body += ",\"";
        answer.body += field::PASSWORD;
        answer.body += "\":\"";
        answer.body += password;  // letters and digits: nothing to escape
        answer.body += "\"}";
        syslog(LOG_NOTICE, "machine account for %s, host %s: %s %s (%s)", request.remoteAddress.c_str(),
               hostName.c_str(), account.reused ? "new password for existing" : "created", account.dn.c_str(),
               request.client.Described().c_str());
        if (!account.unrecorded.empty()) {
            syslog(LOG_WARNING, "%s: the time of its new password is not recorded (%s): a later request for it "
                   "is refused until an administrator clears its description", account.dn.c_str(),
                   account.unrecorded.c_str());
        }
        ScrubStack();
        return answer;
    } catch (const RequestFailure& failure) {
        syslog(LOG_WARNING, "machine account for %s, host %s: refused (%u): %s; client certificate %s",
               request.remoteAddress.c_str(), Printable(hostName).c_str(), failure.status, failure.what(),
               request.client.Described().c_str());
        ScrubStack();
        return Refusal(failure);
    }
}

bool ProxyService::Run()
{
    if (!front->Bind(settings.listenAddress, settings.listenPort)) {
        return false;
    }
    syslog(LOG_INFO, "listening on %s port %d", settings.listenAddress.c_str(), settings.listenPort);
    // The first host after a start should not wait for the directory
    // connection, its bind and the domain's description: made meanwhile,
    // they are kept (a failure only means the first request tries again).
    std::thread warmUp([this] {
        try {
            directory.Describe();
        } catch (const std::exception& failure) {
            syslog(LOG_WARNING, "the directory cannot be reached yet: %s", failure.what());
        }
    });
    front->Run();
    warmUp.join();
    return true;
}

void ProxyService::Stop() { front->Stop(); }

}  // namespace orvauth_proxyd
