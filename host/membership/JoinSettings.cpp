#include <orvane/host/JoinSettings.h>

#include "base/AdClientSettings.h"
#include "base/FileReplacement.h"

#include <orvane/authentication/Configuration.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ostream>
#include <stdexcept>

namespace orvane::host {

namespace settings = orvauth_base::adclient_settings;

std::string JoinSettings::Path()
{
    return orvane::authentication::ConfigurationDirectory() + "/" + settings::FILE_NAME;
}

void JoinSettings::UseLdaps() { wanted.emplace_back(settings::USE_LDAPS, "yes"); }

void JoinSettings::Describe(const std::string& text)
{
    // Blanks at either end would not survive the file's value syntax.
    const std::size_t first = text.find_first_not_of(" \t"), last = text.find_last_not_of(" \t");
    if (first == std::string::npos) {
        throw std::invalid_argument("a description needs a text (to clear it, remove the line from " + Path() + ")");
    }
    const std::string trimmed = text.substr(first, last - first + 1);
    const std::string problem = settings::ValueProblem(settings::DESCRIPTION, trimmed);
    if (!problem.empty()) {
        throw std::invalid_argument(problem);
    }
    wanted.emplace_back(settings::DESCRIPTION, trimmed);
}

void JoinSettings::Record(std::ostream& report)
{
    if (wanted.empty()) {
        return;
    }
    const std::string path = Path();
    const int error = orvauth_base::ReadWholeFile(path, before);
    if (error != 0 && error != ENOENT) {
        throw std::runtime_error("cannot read " + path + ": " + std::strerror(error));
    }
    existed = error == 0;
    std::string edited = before;
    for (const auto& setting : wanted) {
        edited = settings::WithSetting(edited, setting.first, setting.second);
    }
    if (edited != before) {
        const orvauth_base::ReplacementFailure failure = orvauth_base::ReplaceFile(path, edited, 0644);
        if (failure.error != 0) {
            throw std::runtime_error("cannot record the join's settings in " + path + " (" + failure.step + " " +
                                     failure.path + ": " + std::strerror(failure.error) + "); nothing was changed");
        }
        written = true;
    }
    for (const auto& setting : wanted) {
        report << "Recorded " << setting.first << " = " << setting.second << " in " << path
               << " (it holds for later operations too).\n";
    }
}

bool JoinSettings::Undo() noexcept
{
    if (!written) {
        return true;
    }
    written = false;
    const std::string path = Path();
    return existed ? orvauth_base::ReplaceFile(path, before, 0644).error == 0 : std::remove(path.c_str()) == 0;
}

}  // namespace orvane::host
