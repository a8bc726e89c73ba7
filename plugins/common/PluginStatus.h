// Statuses the reference plug-ins answer, and the exception that carries one
// from deep inside an operation out to the C boundary, where it becomes the
// operation's return value.
#pragma once

#include <cstdint>
#include <new>

namespace orvauth_plugin {

enum PluginStatus : std::uint32_t {
    STATUS_SUCCESS = 0,
    STATUS_NOT_JOINED = 2,                  // file not found: there is no membership to report
    STATUS_ACCESS_DENIED = 5,               // the state file cannot be replaced
    STATUS_NOT_ENOUGH_MEMORY = 8,
    STATUS_INVALID_PARAMETER = 87,
    STATUS_INVALID_COMPUTER_NAME = 1210,
    STATUS_INVALID_DOMAIN_NAME = 1212,
    STATUS_CONNECTION_REFUSED = 1225,       // no proxy server at that address
    STATUS_NO_LOGON_SERVERS = 1311,
    STATUS_INVALID_ACCOUNT_NAME = 1315,
    STATUS_NO_SUCH_USER = 1317,
    STATUS_LOGON_FAILURE = 1326,
    STATUS_NO_SUCH_DOMAIN = 1355,
    STATUS_INTERNAL_ERROR = 1359,           // unreadable or malformed state file
    STATUS_NO_TRUST_SAM_ACCOUNT = 1787,
    STATUS_DOMAIN_TRUST_INCONSISTENT = 1810,
    STATUS_ALREADY_JOINED = 2691,
    STATUS_UNTRUSTED_CERTIFICATE = 0x80090325u,
};

// Thrown inside the plug-ins; never crosses into the library.
struct StatusError {
    std::uint32_t status;
};

[[noreturn]] inline void Fail(std::uint32_t status) { throw StatusError{status}; }

// Runs one operation's body at the C boundary: nothing may be thrown into the
// library, so every failure becomes a status.
template <typename Body>
std::uint32_t Guarded(Body&& body) noexcept
{
    try {
        body();
        return STATUS_SUCCESS;
    } catch (const StatusError& error) {
        return error.status;
    } catch (const std::bad_alloc&) {
        return STATUS_NOT_ENOUGH_MEMORY;
    } catch (...) {
        return STATUS_INTERNAL_ERROR;
    }
}

}  // namespace orvauth_plugin
