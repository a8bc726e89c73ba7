// The HTTPS front of the service: two requests, each answered from the
// directory, logged to syslog with the client's address, the host name and
// the result (never the one-time password).
#pragma once

#include "Directory.h"
#include "ServiceConfiguration.h"

#include <memory>

namespace httplib {
class SSLServer;
struct Request;
struct Response;
}

namespace orvauth_proxyd {

class ProxyService {
public:
    // Loads the certificate and the private key (mode 0600 or stricter).
    // Throws ConfigurationRefused.
    ProxyService(const ServiceConfiguration& settings, Directory& directory);
    ~ProxyService();

    // Serves until Stop(); false when the address cannot be bound.
    bool Run();
    // May be called from any thread, also before Run().
    void Stop();

private:
    void AnswerDomainInformation(const httplib::Request& request, httplib::Response& response);
    void AnswerMachineAccount(const httplib::Request& request, httplib::Response& response);

    ServiceConfiguration settings;
    Directory& directory;
    std::unique_ptr<httplib::SSLServer> server;
};

}  // namespace orvauth_proxyd
