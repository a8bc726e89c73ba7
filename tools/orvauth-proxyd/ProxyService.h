// The service's requests: each client is a host that showed a certificate
// from client_ca_file; it may learn the domain and obtain its own machine
// account, at most max_account_requests_per_minute times a minute. Logged to
// syslog with the client's address, certificate and the result (never the
// one-time password); a refusal tells the client only its status.
#pragma once

#include "Directory.h"
#include "FrontEnd.h"
#include "RateLimiter.h"
#include "ServiceConfiguration.h"

#include <memory>

namespace orvauth_proxyd {

class ProxyService {
public:
    // Loads the certificate, the private key (mode 0600 or stricter) and the
    // client CA and CRL. Throws ConfigurationRefused.
    ProxyService(const ServiceConfiguration& settings, Directory& directory, FrontEndLimits limits = {});
    ~ProxyService();

    // Serves until Stop(); false when the address cannot be bound.
    bool Run();
    // May be called from any thread, also before Run().
    void Stop();
    // Certificates, CA, CRL and the rate for the connections accepted from
    // now on. Throws ConfigurationRefused, leaving the service as it was.
    void Reload(const ServiceConfiguration& settings);

    Answer Handle(const IncomingRequest& request);

private:
    Answer AnswerDomainInformation(const IncomingRequest& request);
    Answer AnswerMachineAccount(const IncomingRequest& request);

    ServiceConfiguration settings;
    Directory& directory;
    RateLimiter accountRequests;
    std::unique_ptr<FrontEnd> front;
};

}  // namespace orvauth_proxyd
