// The service's HTTPS front: an event-driven server (Boost.Beast on
// Boost.Asio) that reads each request whole under one deadline before a
// worker sees it.
//
// Why not cpp-httplib's server: it gives each connection a worker thread
// from the moment it is accepted, with only a per-read time-out, so a few
// clients sending a byte every few seconds hold every worker, and it keeps
// every header line it reads. Here the TLS handshake, the headers and the
// body are read by a couple of event threads under one deadline and within
// fixed byte bounds; a worker only runs a request that is complete, so
// idle or slow connections cost a little memory each (and are bounded in
// number), never a worker.
#pragma once

#include "ClientIdentity.h"
#include "ConnectionLimiter.h"
#include "base/Secret.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace boost::asio::ssl {
class context;
}

namespace orvauth_proxyd {

struct IncomingRequest {
    std::string method;
    std::string target;
    std::string body;
    std::string remoteAddress;
    ClientIdentity client;  // the verified client certificate's
};

struct Answer {
    int httpStatus = 200;
    orvauth_base::SecretString body;  // JSON; wiped once sent
};

// The HTTP/1.1 response, status line, header and body, in one buffer of
// wiped memory: the body may hold a one-time password, and it is written
// from there, whole, with no copy in a buffer of the HTTP library.
orvauth_base::SecretString SerializedAnswer(const Answer& answer);

using RequestHandler = std::function<Answer(const IncomingRequest&)>;

struct FrontEndLimits {
    std::chrono::seconds handshakeDeadline{5};
    std::chrono::seconds requestDeadline{10};  // handshake, headers and body
    std::chrono::seconds answerDeadline{10};   // writing the answer
    std::size_t headerBytes = 8192;            // request line and all header lines
    std::size_t headerFields = 32;
    std::size_t bodyBytes = 4096;              // also the sum of a chunked body's chunks
    ConnectionLimits connections;              // more are closed at once
    unsigned workers = 8;                      // requests answered at once
    unsigned eventThreads = 2;
};

class FrontEnd {
public:
    FrontEnd(RequestHandler handler, std::shared_ptr<boost::asio::ssl::context> tls, FrontEndLimits limits = {});
    ~FrontEnd();

    // False when the address cannot be bound (the reason is logged).
    bool Bind(const std::string& address, int port);
    // Connections accepted from now on use tls; those open keep theirs.
    void ReplaceTls(std::shared_ptr<boost::asio::ssl::context> tls);
    // Serves until Stop(), then waits for the requests being answered.
    void Run();
    // May be called from any thread, also before Run().
    void Stop();

    struct State;

private:
    std::shared_ptr<State> state;
};

}  // namespace orvauth_proxyd
