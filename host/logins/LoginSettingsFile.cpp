#include "logins/LoginSettingsFile.h"

#include "logins/LoginBackend.h"
#include "base/SssdService.h"

#include <cerrno>
#include <cstring>
#include <ostream>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace orvane::host {
namespace {

const char* const FILE_NAME = "orvauth-logins.conf";

// SSSD reads its configuration when it starts: restarted where a service
// manager runs it, otherwise the operator is told.
void RestartSssd(const std::string& what, std::ostream& report)
{
    const orvauth_base::SssdOutcome outcome = orvauth_base::ControlSssd({}, orvauth_base::SssdAction::Restart);
    if (!outcome.managed) {
        report << what << "; SSSD takes it up when it starts: restart sssd\n";
    } else if (outcome.failure.empty()) {
        report << what << "; SSSD restarted\n";
    } else {
        report << what << "; SSSD could not be restarted (" << outcome.failure << "): restart it (systemctl restart sssd)\n";
    }
}

}  // namespace

LoginSettingsFile::LoginSettingsFile(const std::string& sssdConf)
    : directory(sssdConf.substr(0, sssdConf.rfind('/') + 1) + "conf.d"), path(directory + "/" + FILE_NAME)
{
}

SssdSnippet LoginSettingsFile::Load() const
{
    try {
        if (::access(path.c_str(), F_OK) != 0 && errno == ENOENT) {
            return SssdSnippet{};
        }
        return ParseSnippet(ReadLoginFile(path));
    } catch (const std::exception& e) {
        throw std::runtime_error(path + ": " + e.what() + "; remove it or correct it, then try again");
    }
}

SssdSnippet LoginSettingsFile::LoadFor(const std::string& domain) const
{
    SssdSnippet snippet = Load();
    if (snippet.domain != domain) {
        snippet = SssdSnippet{domain, LoginAccess{}, snippet.offlineDays, snippet.passwordAgeDays, snippet.renewalChecks,
                              snippet.dnsUpdate};
    }
    return snippet;
}

void LoginSettingsFile::Save(const SssdSnippet& snippet, std::ostream& report) const
{
    if (::mkdir(directory.c_str(), 0711) != 0 && errno != EEXIST) {
        throw std::runtime_error("cannot create " + directory + ": " + std::strerror(errno));
    }
    ReplaceLoginFile(path, FormatSnippet(snippet));
    RestartSssd(path + " written", report);
}

void LoginSettingsFile::Remove(std::ostream& report) const
{
    if (::unlink(path.c_str()) == 0) {
        RestartSssd(path + " removed (who may log in)", report);
    } else if (errno != ENOENT) {
        throw std::runtime_error("cannot remove " + path + ": " + std::strerror(errno));
    }
}

}  // namespace orvane::host
