// The host's identity service (SSSD) set up for the joined domain, so that
// the domain's users resolve (nss "sss") and authenticate (pam_sss.so):
// the domain's section in sssd.conf is written after a successful join and
// removed on leave, and the service is restarted each time.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace adclient {

// The file and the service manager; the defaults are fixed when the
// plug-in is built (the configuration path from ORVAUTH_SSSD_CONF).
struct SssdSettings {
    std::string configPath;
    std::string systemctl;       // the service manager's control program
    std::string managerRunning;  // a directory that exists while the service manager runs
    std::string unit;            // the service's unit
    static SssdSettings Defaults();
};

// What the join produced, as the service needs it.
struct SssdDomain {
    std::string dnsName;        // e.g. corp.example.test
    std::string realm;          // empty: the DNS name in upper case
    std::string keytab;         // the host keytab the join wrote
    std::string hostPrincipal;  // e.g. NODE01$@CORP.EXAMPLE.TEST
    std::string hostName;       // the host's fully qualified name; empty: the service works it out
    std::vector<std::string> preferredControllers;  // empty: found through DNS
    std::string defaultShell;  // for users the directory gives no loginShell; empty: the service's default
    bool useLdaps = false;     // the controllers over LDAPS (TCP 636) only
    std::string homeDirectory; // the users' homes, as a template; empty: HOME_PATTERN
};

// The home directories of the domain's users by default: /home/<domain>/<user>.
constexpr const char* HOME_PATTERN = "/home/%d/%u";

// The configuration could not be read or written (the file is unchanged),
// or a value could not be written into it.
class SssdConfigError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class SssdConfig {
public:
    explicit SssdConfig(SssdSettings settings = SssdSettings::Defaults());

    // Writes the domain's section (replacing an older one of the same
    // name), lists the domain in [sssd] and makes it the suffix of short
    // names, so users log in as user@domain or just user; the file is
    // replaced atomically with mode 0600. Then restarts the service, or
    // logs that it must be started. Throws SssdConfigError before anything
    // is written; a failed restart is logged, not thrown.
    void Configure(const SssdDomain& domain) const;

    // Takes the domain's section and its mentions in [sssd] out again;
    // a file that then holds nothing but what Configure added is removed.
    // Restarts the service while other domains remain, stops it otherwise.
    // Nothing happens when the file does not mention the domain.
    void Remove(const std::string& dnsName) const;

private:
    enum class Restart { Restart, Stop };
    void ControlService(Restart action) const;

    SssdSettings settings;
};

// The text edits themselves, on the file's content. WithoutDomain returns
// an empty text when nothing of the file would remain.
std::string WithDomain(const std::string& current, const SssdDomain& domain);
std::string WithoutDomain(const std::string& current, const std::string& dnsName);

}  // namespace adclient
