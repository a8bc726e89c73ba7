#include "FrontEnd.h"

#include "base/ProxyProtocol.h"

#include <boost/asio.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>

#include <atomic>
#include <mutex>
#include <optional>
#include <syslog.h>
#include <thread>
#include <vector>

namespace orvauth_proxyd {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace ssl = asio::ssl;
using tcp = asio::ip::tcp;
using SecretBody = http::basic_string_body<char, std::char_traits<char>, orvauth_base::WipingAllocator<char>>;

namespace {

constexpr std::chrono::seconds CLOSING_DEADLINE{2};
constexpr std::chrono::seconds DRAINING_DEADLINE{30};

Answer Refusal(int httpStatus, std::uint32_t status, const char* message)
{
    Answer answer;
    answer.httpStatus = httpStatus;
    answer.body = "{\"" + std::string(orvauth_proxy::field::STATUS_CODE) + "\":" + std::to_string(status) + ",\"" +
                  orvauth_proxy::field::MESSAGE + "\":\"" + message + "\",\"" + orvauth_proxy::field::REASON +
                  "\":\"" + orvauth_proxy::ReasonOfStatus(status) + "\"}";
    return answer;
}

}  // namespace

struct FrontEnd::State {
    State(RequestHandler handler_, std::shared_ptr<ssl::context> tls_, FrontEndLimits limits_)
        : handler(std::move(handler_)), limits(limits_), tls(std::move(tls_)), workers(limits.workers)
    {
    }

    std::shared_ptr<ssl::context> CurrentTls()
    {
        std::lock_guard<std::mutex> guard(tlsLock);
        return tls;
    }
    void Accept();
    void BeginStop();
    void Drain(std::chrono::steady_clock::time_point since);

    RequestHandler handler;
    FrontEndLimits limits;
    std::atomic<std::size_t> open{0};
    std::atomic<std::size_t> answering{0};
    std::atomic<bool> stopping{false};
    bool full = false;  // only the accepting handler touches it
    std::mutex tlsLock;
    std::shared_ptr<ssl::context> tls;
    asio::io_context events;
    tcp::acceptor acceptor{events};
    asio::steady_timer drainTimer{events};
    // Declared last: joined first when the front end goes.
    asio::thread_pool workers;
};

namespace {

// One connection: TLS handshake, one request read whole, one answer, close.
class Session : public std::enable_shared_from_this<Session> {
public:
    Session(tcp::socket socket, std::shared_ptr<ssl::context> tls_, FrontEnd::State& state_)
        : state(state_), tls(std::move(tls_)), stream(std::move(socket), *tls),
          buffer(state.limits.headerBytes + state.limits.bodyBytes)
    {
        ++state.open;
        beast::error_code ignored;
        remoteAddress = beast::get_lowest_layer(stream).socket().remote_endpoint(ignored).address().to_string();
    }
    ~Session()
    {
        if (answering) {
            --state.answering;
        }
        --state.open;
    }

    void Start()
    {
        // One deadline for the handshake, the headers and the body.
        beast::get_lowest_layer(stream).expires_after(state.limits.requestDeadline);
        stream.async_handshake(ssl::stream_base::server,
                               [self = shared_from_this()](beast::error_code error) { self->Handshaken(error); });
    }

private:
    void Handshaken(beast::error_code error)
    {
        if (error) {
            SSL* connection = stream.native_handle();
            X509* peer = SSL_get_peer_certificate(connection);
            const ClientIdentity offered = IdentityOf(peer);
            X509_free(peer);
            const long verified = SSL_get_verify_result(connection);
            syslog(LOG_WARNING, "TLS handshake with %s refused: %s; client certificate: %s%s%s", remoteAddress.c_str(),
                   error.message().c_str(), peer == nullptr ? "none" : offered.Described().c_str(),
                   verified == X509_V_OK ? "" : "; verification: ",
                   verified == X509_V_OK ? "" : X509_verify_cert_error_string(verified));
            return;
        }
        parser.emplace();
        parser->header_limit(static_cast<std::uint32_t>(state.limits.headerBytes));
        parser->body_limit(state.limits.bodyBytes);
        http::async_read(stream, buffer, *parser, [self = shared_from_this()](beast::error_code readError, std::size_t) {
            self->Read(readError);
        });
    }

    void Read(beast::error_code error)
    {
        if (error == http::error::body_limit) {
            return Refuse(413, "the body is larger than 4096 bytes");
        }
        if (error == http::error::header_limit || error == http::error::buffer_overflow) {
            return Refuse(431, "the header is larger than allowed");
        }
        const auto& httpErrors = http::make_error_code(http::error::bad_method).category();
        if (error && error.category() == httpErrors && error != http::error::end_of_stream &&
            error != http::error::partial_message && error != http::error::short_read) {
            return Refuse(400, ("not HTTP: " + error.message()).c_str());
        }
        if (error) {
            if (error == beast::error::timeout) {
                syslog(LOG_WARNING, "connection from %s closed: no complete request within %lld s",
                       remoteAddress.c_str(), static_cast<long long>(state.limits.requestDeadline.count()));
            }
            return;
        }
        const auto& message = parser->get();
        if (static_cast<std::size_t>(std::distance(message.begin(), message.end())) > state.limits.headerFields) {
            return Refuse(431, "too many header fields");
        }
        IncomingRequest request;
        request.method = std::string(message.method_string());
        request.target = std::string(message.target());
        request.body = message.body();
        request.remoteAddress = remoteAddress;
        X509* peer = SSL_get_peer_certificate(stream.native_handle());
        request.client = IdentityOf(peer);
        X509_free(peer);
        parser.reset();
        answering = true;
        ++state.answering;
        asio::post(state.workers, [self = shared_from_this(), request = std::move(request)] {
            Answer answer;
            try {
                answer = self->state.handler(request);
            } catch (const std::exception& failure) {
                syslog(LOG_ERR, "%s from %s: internal error: %s", request.target.c_str(),
                       request.remoteAddress.c_str(), failure.what());
                answer = Refusal(500, orvauth_proxy::SERVICE_INTERNAL_ERROR, "internal error");
            }
            asio::post(self->stream.get_executor(),
                       [self, answer = std::move(answer)]() mutable { self->Write(std::move(answer)); });
        });
    }

    // The connection's framing is lost: answer and close.
    void Refuse(int httpStatus, const char* what)
    {
        syslog(LOG_WARNING, "request from %s refused with HTTP status %d: %s", remoteAddress.c_str(), httpStatus, what);
        Write(Refusal(httpStatus, orvauth_proxy::SERVICE_INVALID_PARAMETER, "not a request of this service"));
    }

    void Write(Answer answer)
    {
        response.emplace();
        response->result(static_cast<unsigned>(answer.httpStatus));
        response->set(http::field::content_type, orvauth_proxy::JSON_CONTENT_TYPE);
        response->keep_alive(false);
        response->body() = std::move(answer.body);
        response->prepare_payload();
        beast::get_lowest_layer(stream).expires_after(state.limits.answerDeadline);
        http::async_write(stream, *response, [self = shared_from_this()](beast::error_code, std::size_t) {
            self->response.reset();  // wipes the body
            beast::get_lowest_layer(self->stream).expires_after(CLOSING_DEADLINE);
            self->stream.async_shutdown([self](beast::error_code) {});
        });
    }

    FrontEnd::State& state;
    std::shared_ptr<ssl::context> tls;  // outlives the stream that uses it
    beast::ssl_stream<beast::tcp_stream> stream;
    beast::flat_buffer buffer;
    std::optional<http::request_parser<http::string_body>> parser;
    std::optional<http::response<SecretBody>> response;
    std::string remoteAddress;
    bool answering = false;
};

}  // namespace

void FrontEnd::State::Accept()
{
    acceptor.async_accept(asio::make_strand(events), [this](beast::error_code error, tcp::socket socket) {
        if (stopping) {
            return;
        }
        if (error) {
            // Out of descriptors, most likely: let some connections end.
            syslog(LOG_ERR, "cannot accept a connection: %s", error.message().c_str());
            drainTimer.expires_after(std::chrono::milliseconds(100));
            drainTimer.async_wait([this](beast::error_code) { Accept(); });
            return;
        }
        if (open >= limits.connections) {
            if (!full) {
                syslog(LOG_WARNING, "%zu connections open: closing new ones until some end", limits.connections);
            }
            full = true;
            socket.close(error);
        } else {
            full = false;
            // Answers and handshake records go out at once, not after the
            // peer's delayed ACK of the previous one.
            socket.set_option(tcp::no_delay(true), error);
            std::make_shared<Session>(std::move(socket), CurrentTls(), *this)->Start();
        }
        Accept();
    });
}

void FrontEnd::State::BeginStop()
{
    if (stopping.exchange(true)) {
        return;
    }
    beast::error_code ignored;
    acceptor.close(ignored);
    drainTimer.cancel();
    Drain(std::chrono::steady_clock::now());
}

// Requests being answered are finished; connections still being read are
// dropped with the event loop.
void FrontEnd::State::Drain(std::chrono::steady_clock::time_point since)
{
    if (answering == 0 || std::chrono::steady_clock::now() - since > DRAINING_DEADLINE) {
        events.stop();
        return;
    }
    drainTimer.expires_after(std::chrono::milliseconds(20));
    drainTimer.async_wait([this, since](beast::error_code) { Drain(since); });
}

FrontEnd::FrontEnd(RequestHandler handler, std::shared_ptr<ssl::context> tls, FrontEndLimits limits)
    : state(std::make_shared<State>(std::move(handler), std::move(tls), limits))
{
}

FrontEnd::~FrontEnd()
{
    state->workers.join();
    state->events.stop();
}

bool FrontEnd::Bind(const std::string& address, int port)
{
    beast::error_code error;
    const auto ip = asio::ip::make_address(address, error);
    const tcp::endpoint endpoint(ip, static_cast<unsigned short>(port));
    if (!error) {
        state->acceptor.open(endpoint.protocol(), error);
    }
    if (!error) {
        state->acceptor.set_option(asio::socket_base::reuse_address(true), error);
    }
    if (!error) {
        state->acceptor.bind(endpoint, error);
    }
    if (!error) {
        state->acceptor.listen(asio::socket_base::max_listen_connections, error);
    }
    if (error) {
        syslog(LOG_ERR, "cannot listen on %s port %d: %s", address.c_str(), port, error.message().c_str());
        return false;
    }
    return true;
}

void FrontEnd::ReplaceTls(std::shared_ptr<ssl::context> tls)
{
    std::lock_guard<std::mutex> guard(state->tlsLock);
    state->tls = std::move(tls);
}

void FrontEnd::Run()
{
    if (!state->stopping) {
        state->Accept();
    }
    std::vector<std::thread> others;
    for (unsigned i = 1; i < state->limits.eventThreads; ++i) {
        others.emplace_back([this] { state->events.run(); });
    }
    state->events.run();
    for (auto& thread : others) {
        thread.join();
    }
}

void FrontEnd::Stop()
{
    asio::post(state->events, [this] { state->BeginStop(); });
}

}  // namespace orvauth_proxyd
