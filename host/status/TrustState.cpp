#include <orvane/host/Status.h>

#include <orvane/authentication/PluginStatus.h>

namespace orvane::host {

// The trust states every plug-in of this project reports by name
// (PluginStatus.h), in words; the number follows, and stands alone for a
// value of another plug-in's own.
std::string TrustStateWords(TrustState state)
{
    const char* words = nullptr;
    switch (state) {
    case ORVAUTH_TRUST_NOT_REPORTED: words = "not reported by the plug-in"; break;
    case ORVAUTH_TRUST_GOOD: words = "good: the machine account logs in to the domain"; break;
    case ORVAUTH_TRUST_NO_ANSWER_IN_TIME: words = "not known: the directory did not answer in time"; break;
    case ORVAUTH_TRUST_BROKEN: words = "broken: the domain refuses the machine account; join the host again"; break;
    case ORVAUTH_TRUST_UNREACHABLE: words = "unreachable: no domain controller answered"; break;
    case ORVAUTH_TRUST_NOT_JOINED: words = "not joined"; break;
    case ORVAUTH_TRUST_OTHER_FAILURE: words = "not known: the system log has the reason"; break;
    case ORVAUTH_TRUST_NO_DOMAIN: words = "not joined: no membership recorded"; break;
    default: return "state " + std::to_string(state);
    }
    return words;
}

std::string DescribeTrustState(TrustState state)
{
    const std::string words = TrustStateWords(state);
    return words.rfind("state ", 0) == 0 ? std::to_string(state) : words + " (" + std::to_string(state) + ")";
}

}  // namespace orvane::host
