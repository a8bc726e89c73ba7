#include "adclient/IntentJournal.h"

#include "adclient/BuildSettings.h"
#include "common/StatusError.h"

#include <cerrno>
#include <cstring>
#include <syslog.h>
#include <unistd.h>

namespace adclient {

namespace {

std::string IntentPath() { return std::string(ADCLIENT_STATE_DIR) + "/adclient.intent"; }

}  // namespace

orvauth_plugin::StateFile LoadIntent()
{
    if (::access(IntentPath().c_str(), R_OK) != 0) {
        return orvauth_plugin::StateFile();  // none, or not ours to read (a caller without privileges)
    }
    try {
        return orvauth_plugin::StateFile::Read(IntentPath());
    } catch (const orvauth_plugin::StatusError&) {
        syslog(LOG_ERR, "adclient: %s cannot be read; it is ignored. Check the membership with "
               "'orvauthctl status'", IntentPath().c_str());
        return orvauth_plugin::StateFile();
    }
}

void RecordIntent(const orvauth_plugin::StateFile& journal)
{
    try {
        journal.Write(IntentPath());
    } catch (const orvauth_plugin::StatusError&) {
        syslog(LOG_ERR, "adclient: cannot write %s (%s); the directory is left unchanged", IntentPath().c_str(),
               std::strerror(errno));
        orvauth_plugin::Fail(ORVAUTH_STATUS_ACCESS_DENIED);
    }
}

void ClearIntent()
{
    if (::unlink(IntentPath().c_str()) != 0 && errno != ENOENT) {
        syslog(LOG_ERR, "adclient: cannot remove %s (%s); the next call will check the membership again",
               IntentPath().c_str(), std::strerror(errno));
    }
}

}  // namespace adclient
