#include "adclient/AdClientState.h"

#include "adclient/BuildSettings.h"
#include "common/PluginStatus.h"

#include <cerrno>
#include <sys/stat.h>

namespace adclient {

std::string StatePath() { return std::string(ADCLIENT_STATE_DIR) + "/adclient.state"; }

std::string KeytabPath() { return ADCLIENT_KEYTAB; }

orvauth_plugin::StateFile LoadState() { return orvauth_plugin::StateFile::Read(StatePath()); }

void SaveState(const orvauth_plugin::StateFile& state)
{
    if (::mkdir(ADCLIENT_STATE_DIR, 0700) != 0 && errno != EEXIST) {
        orvauth_plugin::Fail(orvauth_plugin::STATUS_ACCESS_DENIED);
    }
    state.Write(StatePath());
}

bool IsJoined(const orvauth_plugin::StateFile& state)
{
    return !state.Value(keys::DOMAIN).empty() && !state.Value(keys::COMPUTER_NAME).empty();
}

void ForgetMembership(orvauth_plugin::StateFile& state)
{
    for (const char* key : {keys::DOMAIN, keys::NETBIOS, keys::REALM, keys::DOMAIN_SID, keys::CONTROLLER,
                            keys::COMPUTER_NAME, keys::HOST_FQDN}) {
        state.Remove(key);
    }
}

}  // namespace adclient
