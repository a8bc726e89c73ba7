// Directory users on the host: the directory plug-in's NSS module in the
// name-service switch file and its PAM module in the PAM files, through the
// way the distribution manages them (pam-auth-update where it manages
// /etc/pam.d, the library's PAM model elsewhere), and who of them may log
// in (LoginAccess.h).
//
// Enable records what it added in the state directory; Disable takes away
// exactly that: a file nobody changed since gets its old bytes back, one
// that was changed loses only what enable added, and what was there before
// stays. A refused file changes nothing. Each operation writes one line per
// thing it did to report.
#pragma once

#include <orvane/host/Export.h>
#include <orvane/host/HostFiles.h>
#include <orvane/host/LoginAccess.h>

#include <iosfwd>
#include <stdexcept>
#include <string>
#include <vector>

namespace orvane::host {

// Who may log in was asked for before logins were enabled, or on a host
// that is not joined; nothing was changed.
class ORVAUTHHOST_API LoginsNotReady : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct LoginFileState {
    std::string path;
    std::string state;  // "on", "off", "partly on" or "unknown: <why>"
};

struct LoginsStatus {
    std::string activeStore;  // the recorded active store, or "unknown (<why>)"
    std::string nssModule;
    std::string pamModule;
    std::string pamBackend;  // "pam-auth-update" or "PAM model"
    std::vector<LoginFileState> files;
    SssdSnippet settings;       // who may log in, offline logins, password renewal
    std::string settingsError;  // the settings file could not be read
};

enum class LoginNames { Users, Groups };

class ORVAUTHHOST_API Logins {
public:
    explicit Logins(HostFiles files = HostFiles::Defaults());

    // pamFiles: names in the PAM directory or paths; none: common-auth,
    // common-account, common-password and common-session. offlineDays: how
    // long offline logins stay possible (0: no limit; negative: as set
    // before, 7 days at first). Needs the directory store active.
    void Enable(const std::vector<std::string>& pamFiles, int offlineDays, std::ostream& report) const;
    void Disable(const std::vector<std::string>& pamFiles, std::ostream& report) const;
    // Never throws for a file it cannot examine: that file's state says why.
    LoginsStatus Status(const std::vector<std::string>& pamFiles) const;

    // Who may log in; names are confirmed by the directory (Permit) and
    // taken in its spelling. Throws LoginsNotReady on a host that is not
    // joined or whose logins are not enabled. Returns who may log in now.
    LoginAccess Permit(LoginNames kind, const std::vector<std::string>& names, std::ostream& report) const;
    LoginAccess PermitAll(AccessMode mode, std::ostream& report) const;  // Everyone or DomainPolicy
    LoginAccess Deny(LoginNames kind, const std::vector<std::string>& names, std::ostream& report) const;
    LoginAccess DenyAll(std::ostream& report) const;

    // How old SSSD lets the machine password grow before it renews it
    // (0: never; negative: as it is), and how often it checks that age
    // (RenewalChecks' form; empty: as it is). Needs a joined host.
    void SetPasswordRenewal(int days, const std::string& checks, std::ostream& report) const;

    const HostFiles& Files() const { return files; }

private:
    HostFiles files;
};

}  // namespace orvane::host
