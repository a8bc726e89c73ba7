// The exception that carries a status (<orvane/authentication/PluginStatus.h>)
// from deep inside an operation out to the C boundary, where it becomes the
// operation's return value.
#pragma once

#include <orvane/authentication/PluginStatus.h>

#include <cstdint>
#include <new>
#include <string>

namespace orvauth_plugin {

// Thrown inside the plug-ins; never crosses into the library.
struct StatusError {
    std::uint32_t status;
};

[[noreturn]] inline void Fail(std::uint32_t status) { throw StatusError{status}; }

// The reason of the operation the calling thread runs, in the operator's
// words (never a secret), for the library to show should the operation fail
// (OrvauthPluginFailureReason, PluginStatus.h). Each operation starts
// without one.
void NoteFailureReason(const std::string& reason);
void ForgetFailureReason();

// Fails with a status and the reason the operator reads.
[[noreturn]] inline void Fail(std::uint32_t status, const std::string& reason)
{
    NoteFailureReason(reason);
    throw StatusError{status};
}

// Runs one operation's body at the C boundary: nothing may be thrown into the
// library, so every failure becomes a status.
template <typename Body>
std::uint32_t Guarded(Body&& body) noexcept
{
    ForgetFailureReason();
    try {
        body();
        return ORVAUTH_STATUS_SUCCESS;
    } catch (const StatusError& error) {
        return error.status;
    } catch (const std::bad_alloc&) {
        return ORVAUTH_STATUS_NOT_ENOUGH_MEMORY;
    } catch (...) {
        return ORVAUTH_STATUS_INTERNAL_ERROR;
    }
}

}  // namespace orvauth_plugin
