#include "adclient/HostKeytab.h"

#include "base/FileReplacement.h"
#include "base/Secret.h"
#include "common/Names.h"
#include "common/StatusError.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <krb5.h>
#include <syslog.h>
#include <unistd.h>

using orvauth_plugin::EqualsIgnoringCase;

namespace adclient {
namespace {

[[noreturn]] void FailOn(const char* what, const std::string& path, int error)
{
    syslog(LOG_ERR, "adclient: cannot %s %s (%s)", what, path.c_str(), std::strerror(error));
    orvauth_plugin::Fail(ORVAUTH_STATUS_ACCESS_DENIED);
}

// Calls visit(context, entry) for every entry of the keytab; false when it
// cannot be read (a missing keytab has no entries and reads fine).
bool EachEntry(const std::string& keytab, const std::function<void(krb5_context, krb5_keytab_entry&)>& visit)
{
    if (::access(keytab.c_str(), F_OK) != 0) {
        return errno == ENOENT;
    }
    krb5_context context = nullptr;
    if (krb5_init_context(&context) != 0) {
        return false;
    }
    krb5_keytab handle = nullptr;
    krb5_kt_cursor cursor;
    krb5_error_code code = krb5_kt_resolve(context, ("FILE:" + keytab).c_str(), &handle);
    if (code == 0 && (code = krb5_kt_start_seq_get(context, handle, &cursor)) == 0) {
        krb5_keytab_entry entry;
        while ((code = krb5_kt_next_entry(context, handle, &entry, &cursor)) == 0) {
            visit(context, entry);
            krb5_free_keytab_entry_contents(context, &entry);
        }
        krb5_kt_end_seq_get(context, handle, &cursor);
        code = code == KRB5_KT_END ? 0 : code;
    }
    if (handle != nullptr) {
        krb5_kt_close(context, handle);
    }
    krb5_free_context(context);
    return code == 0;
}

}  // namespace

bool HostPrincipals::Own(const std::string& principal) const
{
    const std::string::size_type at = principal.rfind('@');
    if (computerName.empty() || at == std::string::npos || !EqualsIgnoringCase(principal.substr(at + 1), realm)) {
        return false;
    }
    const std::string name = principal.substr(0, at);
    const std::string::size_type slash = name.find('/');
    if (slash == std::string::npos) {
        return EqualsIgnoringCase(name, computerName + "$");
    }
    const std::string service = name.substr(0, slash), instance = name.substr(slash + 1);
    if (!EqualsIgnoringCase(service, "host") && !EqualsIgnoringCase(service, "RestrictedKrbHost")) {
        return false;
    }
    const std::string shortName = hostFqdn.substr(0, hostFqdn.find('.'));
    return EqualsIgnoringCase(instance, computerName) || (!hostFqdn.empty() && (EqualsIgnoringCase(instance, shortName) ||
                                                                                 EqualsIgnoringCase(instance, hostFqdn)));
}

std::string StagedKeytabPath(const std::string& keytab) { return keytab + ".orvauth-new"; }

void StageKeytab(const std::string& keytab)
{
    DiscardStagedKeytab(keytab);
    std::string content;
    const int error = orvauth_base::ReadWholeFile(keytab, content);
    if (error == ENOENT) {
        return;
    }
    if (error != 0) {
        FailOn("read", keytab, error);
    }
    const orvauth_base::ReplacementFailure failure = orvauth_base::ReplaceFile(
        StagedKeytabPath(keytab), content, 0600, orvauth_base::ExistingMode::Reset);
    orvauth_base::Wipe(content);
    if (failure.error != 0) {
        FailOn(failure.step, failure.path, failure.error);
    }
}

void PromoteStagedKeytab(const std::string& keytab)
{
    const std::string staged = StagedKeytabPath(keytab);
    const int descriptor = ::open(staged.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (descriptor < 0) {
        FailOn("open", staged, errno);
    }
    const bool ready = ::fchmod(descriptor, 0600) == 0 && ::fsync(descriptor) == 0;
    const int error = errno;
    ::close(descriptor);
    if (!ready) {
        FailOn("sync", staged, error);
    }
    if (::rename(staged.c_str(), keytab.c_str()) != 0) {
        FailOn("replace", keytab, errno);
    }
    orvauth_base::FileReplacement::SyncDirectory(orvauth_base::FileReplacement::DirectoryOf(keytab));
}

void DiscardStagedKeytab(const std::string& keytab)
{
    const std::string staged = StagedKeytabPath(keytab);
    if (::unlink(staged.c_str()) != 0 && errno != ENOENT) {
        FailOn("remove", staged, errno);
    }
}

void RemoveHostKeys(const std::string& keytab, const HostPrincipals& host)
{
    const std::string staged = StagedKeytabPath(keytab);
    DiscardStagedKeytab(keytab);
    krb5_context context = nullptr;
    krb5_keytab out = nullptr;
    std::size_t kept = 0, removed = 0;
    bool written = krb5_init_context(&context) == 0 &&
                   krb5_kt_resolve(context, ("WRFILE:" + staged).c_str(), &out) == 0;
    const bool read = written && EachEntry(keytab, [&](krb5_context entryContext, krb5_keytab_entry& entry) {
        char* name = nullptr;
        const bool own = krb5_unparse_name(entryContext, entry.principal, &name) == 0 && host.Own(name);
        krb5_free_unparsed_name(entryContext, name);
        if (own) {
            ++removed;
        } else {
            ++kept;
            written = written && krb5_kt_add_entry(context, out, &entry) == 0;
        }
    });
    if (out != nullptr) {
        krb5_kt_close(context, out);
    }
    if (context != nullptr) {
        krb5_free_context(context);
    }
    if (!read || !written) {
        ::unlink(staged.c_str());
        FailOn(read ? "write the host's keys out of" : "read", keytab, read ? EIO : EINVAL);
    }
    if (removed == 0) {
        ::unlink(staged.c_str());
    } else if (kept == 0) {
        ::unlink(staged.c_str());
        if (::unlink(keytab.c_str()) != 0 && errno != ENOENT) {
            FailOn("remove", keytab, errno);
        }
    } else {
        PromoteStagedKeytab(keytab);
    }
}

std::string KeytabComputerName(const std::string& keytab)
{
    std::string name;
    EachEntry(keytab, [&name](krb5_context, krb5_keytab_entry& entry) {
        if (name.empty() && entry.principal->length == 1) {
            const krb5_data* part = &entry.principal->data[0];
            const std::string first(part->data, part->length);
            if (first.size() > 1 && first.back() == '$') {
                name = first.substr(0, first.size() - 1);
            }
        }
    });
    return name;
}

}  // namespace adclient
