// join's --use-ldaps and --description: the adclient plug-in's join takes
// only a domain, a container and credentials, so these are recorded in its
// settings file (base/AdClientSettings.h) before the join, where they stay
// for the operations after it.
#pragma once

#include "Arguments.h"

#include <iosfwd>
#include <string>
#include <utility>
#include <vector>

namespace orvauthctl {

extern const OptionDefinition USE_LDAPS_OPTION;
extern const OptionDefinition DESCRIPTION_OPTION;

// The settings a join's flags ask for.
class ClientSettingsChange {
public:
    // Checks every value; throws UsageError before anything is written.
    explicit ClientSettingsChange(const ParsedArguments& arguments);

    // Sets each in adclient.conf, keeping every other line, and says so on
    // out. Throws std::runtime_error naming the file when it cannot be read
    // or written; the file is then as it was.
    void Record(std::ostream& out);
    // Puts the file back as Record found it, for a join that failed: a
    // refused command changes nothing.
    void Undo() noexcept;

private:
    std::vector<std::pair<std::string, std::string>> wanted;
    std::string path, before;
    bool existed = false, written = false;
};

}  // namespace orvauthctl
