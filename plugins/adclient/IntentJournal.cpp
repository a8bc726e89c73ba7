#include "adclient/IntentJournal.h"

#include "adclient/BuildSettings.h"
#include "common/StatusError.h"

#include <cerrno>
#include <cstring>
#include <krb5.h>
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

std::string KeytabComputerName(const std::string& keytabPath)
{
    krb5_context context = nullptr;
    if (krb5_init_context(&context) != 0) {
        return "";
    }
    std::string name;
    krb5_keytab keytab = nullptr;
    krb5_kt_cursor cursor;
    if (krb5_kt_resolve(context, ("FILE:" + keytabPath).c_str(), &keytab) == 0 &&
        krb5_kt_start_seq_get(context, keytab, &cursor) == 0) {
        krb5_keytab_entry entry;
        while (name.empty() && krb5_kt_next_entry(context, keytab, &entry, &cursor) == 0) {
            if (krb5_princ_size(context, entry.principal) == 1) {
                const krb5_data* part = krb5_princ_component(context, entry.principal, 0);
                const std::string first(part->data, part->length);
                if (first.size() > 1 && first.back() == '$') {
                    name = first.substr(0, first.size() - 1);
                }
            }
            krb5_free_keytab_entry_contents(context, &entry);
        }
        krb5_kt_end_seq_get(context, keytab, &cursor);
    }
    if (keytab != nullptr) {
        krb5_kt_close(context, keytab);
    }
    krb5_free_context(context);
    return name;
}

}  // namespace adclient
