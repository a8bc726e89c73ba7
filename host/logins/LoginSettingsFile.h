// The login settings (who may log in, offline logins, password renewal) in
// their file in the conf.d directory beside sssd.conf, mode 0600 as SSSD
// demands of it. Saving or removing it has SSSD restarted, and says so.
#pragma once

#include <orvane/host/LoginAccess.h>

#include <iosfwd>
#include <string>

namespace orvane::host {

// SSSD reads its configuration when it starts: restarted where a service
// manager runs it, otherwise the operator is told; what is the change made.
void RestartSssd(const std::string& what, std::ostream& report);

// The snippet directory (conf.d) beside sssd.conf, which SSSD reads after it.
std::string SssdSnippetDirectory(const std::string& sssdConf);

class LoginSettingsFile {
public:
    explicit LoginSettingsFile(const std::string& sssdConf);

    const std::string& Path() const { return path; }
    // The settings, or empty ones when there is no file; std::runtime_error
    // naming the file and the fix when it cannot be read or was not written
    // here.
    SssdSnippet Load() const;
    // Those of domain: the file's when they are about it, else fresh ones
    // that keep the offline and renewal settings.
    SssdSnippet LoadFor(const std::string& domain) const;
    void Save(const SssdSnippet& snippet, std::ostream& report) const;
    void Remove(std::ostream& report) const;

private:
    std::string directory;
    std::string path;
};

}  // namespace orvane::host
