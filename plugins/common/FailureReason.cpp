// The calling thread's failure reason, and the symbol through which the
// library reads it. A plain thread-local buffer: it needs no destructor, so
// the library may unload the plug-in while threads that used it live on.
#include "common/StatusError.h"

#include <orvane/authentication/PluginStatus.h>

#include <algorithm>
#include <cstring>

namespace orvauth_plugin {

namespace {

constexpr std::size_t REASON_BYTES = 512;
thread_local char reasonText[REASON_BYTES];

}  // namespace

void NoteFailureReason(const std::string& reason)
{
    const std::size_t length = std::min(reason.size(), REASON_BYTES - 1);
    std::memcpy(reasonText, reason.data(), length);
    reasonText[length] = '\0';
    // One line, whatever the words came from.
    std::replace_if(reasonText, reasonText + length, [](char c) { return c == '\n' || c == '\r'; }, ' ');
}

void ForgetFailureReason() { reasonText[0] = '\0'; }

}  // namespace orvauth_plugin

extern "C" __attribute__((visibility("default"))) const char* OrvauthPluginFailureReason(void)
{
    return orvauth_plugin::reasonText[0] == '\0' ? nullptr : orvauth_plugin::reasonText;
}
