#include "ClientSettingsFlags.h"

#include "base/AdClientSettings.h"
#include "base/FileReplacement.h"

#include <orvane/authentication/Configuration.h>

#include <cstdio>
#include <cstring>
#include <ostream>
#include <stdexcept>

namespace orvauthctl {

namespace settings = orvauth_base::adclient_settings;

const OptionDefinition USE_LDAPS_OPTION{"use-ldaps", "",
                                        "talk to the domain controllers over LDAPS (TCP 636) only; recorded as\n"
                                        "use_ldaps = yes in adclient.conf, for later operations too"};
const OptionDefinition DESCRIPTION_OPTION{"description", "<text>",
                                          "description of the computer account (one line); recorded in\n"
                                          "adclient.conf, for later joins too"};

ClientSettingsChange::ClientSettingsChange(const ParsedArguments& arguments)
{
    if (arguments.Has(USE_LDAPS_OPTION.name)) {
        wanted.emplace_back(settings::USE_LDAPS, "yes");
    }
    if (arguments.Has(DESCRIPTION_OPTION.name)) {
        const std::string text = arguments.Value(DESCRIPTION_OPTION.name);
        // Blanks at either end would not survive the file's value syntax.
        const std::size_t first = text.find_first_not_of(" \t"), last = text.find_last_not_of(" \t");
        if (first == std::string::npos) {
            throw UsageError("--description needs a text (to clear it, remove the line from adclient.conf)");
        }
        const std::string trimmed = text.substr(first, last - first + 1);
        const std::string problem = settings::ValueProblem(settings::DESCRIPTION, trimmed);
        if (!problem.empty()) {
            throw UsageError("--description: " + problem);
        }
        wanted.emplace_back(settings::DESCRIPTION, trimmed);
    }
}

void ClientSettingsChange::Record(std::ostream& out)
{
    if (wanted.empty()) {
        return;
    }
    path = orvane::authentication::ConfigurationDirectory() + "/" + settings::FILE_NAME;
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
        out << "Recorded " << setting.first << " = " << setting.second << " in " << path
            << " (it holds for later operations too).\n";
    }
}

void ClientSettingsChange::Undo() noexcept
{
    if (!written) {
        return;
    }
    written = false;
    const bool restored = existed ? orvauth_base::ReplaceFile(path, before, 0644).error == 0
                                  : std::remove(path.c_str()) == 0;
    if (!restored) {
        std::fprintf(stderr, "orvauthctl: the join failed and %s could not be put back as it was: check its "
                     "use_ldaps and description lines\n", path.c_str());
    }
}

}  // namespace orvauthctl
