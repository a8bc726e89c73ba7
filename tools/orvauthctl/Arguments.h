// Command-line words split into options and operands.
#pragma once

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace orvauthctl {

// Bad command-line input: reported with a pointer to --help, exit status 2.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct OptionDefinition {
    std::string name;       // without the leading "--"
    std::string valueName;  // empty for a flag
    std::string help;
    bool required = false;  // checked by the command dispatcher
};

struct ParsedArguments {
    std::map<std::string, std::string> options;  // a flag maps to ""
    std::vector<std::string> operands;

    bool Has(const std::string& name) const { return options.count(name) != 0; }
    // The option's value, or fallback when it was not given.
    std::string Value(const std::string& name, const std::string& fallback = "") const;
};

// Reads "--name", "--name value", "--name=value", "-h" (for --help) and
// "-v" (for --verbose)
// anywhere among the operands; "--" ends the options. When stopAtOperand is
// set, the first operand and everything after it are left as operands
// unread (the global options end where the command begins). Throws
// UsageError for an unknown option, a missing value or a value given to a
// flag. A repeated option keeps its last value.
ParsedArguments ParseArguments(const std::vector<std::string>& words, const std::vector<OptionDefinition>& definitions,
                               bool stopAtOperand = false);

}  // namespace orvauthctl
