#include "adclient/AdClientState.h"

#include "adclient/BuildSettings.h"
#include "common/Names.h"
#include "common/StatusError.h"

#include <cerrno>
#include <sys/stat.h>

namespace adclient {

std::string StatePath() { return std::string(ADCLIENT_STATE_DIR) + "/adclient.state"; }

std::string KeytabPath() { return ADCLIENT_KEYTAB; }

orvauth_plugin::StateFile LoadState() { return orvauth_plugin::StateFile::Read(StatePath()); }

void MakeDirectory(const std::string& path)
{
    const std::string::size_type slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0) {
        struct stat parent;
        if (::stat(path.substr(0, slash).c_str(), &parent) != 0) {
            MakeDirectory(path.substr(0, slash));
            ::chmod(path.substr(0, slash).c_str(), 0755);
        }
    }
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        orvauth_plugin::Fail(ORVAUTH_STATUS_ACCESS_DENIED);
    }
}

void PrepareDirectories()
{
    MakeDirectory(ADCLIENT_STATE_DIR);
    const std::string keytab = KeytabPath();
    MakeDirectory(keytab.substr(0, keytab.rfind('/')));
}

void SaveState(const orvauth_plugin::StateFile& state)
{
    MakeDirectory(ADCLIENT_STATE_DIR);
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

std::mutex& StateLock()
{
    static std::mutex lock;
    return lock;
}

bool JoinedDomain::Names(const std::string& name) const
{
    return orvauth_plugin::EqualsIgnoringCase(name, domain) || orvauth_plugin::EqualsIgnoringCase(name, netbios);
}

JoinedDomain RequireJoined()
{
    std::lock_guard<std::mutex> guard(StateLock());
    const orvauth_plugin::StateFile state = LoadState();
    if (!IsJoined(state)) {
        orvauth_plugin::Fail(ORVAUTH_STATUS_FILE_NOT_FOUND);
    }
    return {state.Value(keys::DOMAIN),     state.Value(keys::NETBIOS),       state.Value(keys::REALM),
            state.Value(keys::DOMAIN_SID), state.Value(keys::CONTROLLER),    state.Value(keys::COMPUTER_NAME),
            state.Value(keys::HOST_FQDN),  state.Values(keys::PREFERRED_CONTROLLER)};
}

}  // namespace adclient
