#include "adclient/ClientSettings.h"

#include "adclient/BuildSettings.h"
#include "base/AdClientSettings.h"
#include "base/FileReplacement.h"
#include "base/KeyValueLine.h"
#include "common/StatusError.h"

#include <cerrno>
#include <cstring>
#include <syslog.h>

namespace adclient {

namespace settings = orvauth_base::adclient_settings;

namespace {

[[noreturn]] void Refuse(const std::string& path, int line, const std::string& problem)
{
    const std::string reason = path + " line " + std::to_string(line) + ": " + problem +
                               "; correct or remove that line (the file's comments show each key)";
    syslog(LOG_ERR, "adclient: %s", reason.c_str());
    orvauth_plugin::Fail(ORVAUTH_STATUS_INVALID_PARAMETER, reason);
}

std::string WithoutTrailingBlanks(std::string text)
{
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.pop_back();
    }
    return text;
}

}  // namespace

ClientSettings ReadClientSettings(const std::string& path)
{
    ClientSettings found;
    std::string content;
    if (const int error = orvauth_base::ReadWholeFile(path, content)) {
        if (error == ENOENT) {
            return found;
        }
        const std::string reason = "cannot read " + path + ": " + std::strerror(error);
        syslog(LOG_ERR, "adclient: %s", reason.c_str());
        orvauth_plugin::Fail(error == EACCES || error == EPERM ? ORVAUTH_STATUS_ACCESS_DENIED
                                                               : ORVAUTH_STATUS_INTERNAL_ERROR,
                             reason);
    }
    int number = 0;
    orvauth_base::ForEachLine(content, [&](const std::string& text) {
        ++number;
        const auto line = orvauth_base::ReadKeyValueLine(text);
        if (line.kind == orvauth_base::LineKind::Malformed) {
            Refuse(path, number, "not a comment, a blank line or key = value");
        }
        if (line.kind == orvauth_base::LineKind::Empty) {
            return true;
        }
        const std::string value = WithoutTrailingBlanks(line.value);
        const std::string problem = settings::ValueProblem(line.key, value);
        if (!problem.empty()) {
            Refuse(path, number, problem);
        }
        if (line.key == settings::USE_LDAPS) {
            found.useLdaps = value == "yes";
        } else if (line.key == settings::DESCRIPTION) {
            found.description = value;
        } else if (line.key == settings::DEFAULT_SHELL) {
            found.defaultShell = value;
        } else {
            found.homeDirectory = value;
        }
        return true;
    });
    return found;
}

ClientSettings CurrentClientSettings() { return ReadClientSettings(ADCLIENT_SETTINGS); }

}  // namespace adclient
