// The tool's commands: what each accepts, how its help reads, what it runs.
#pragma once

#include "Arguments.h"

#include <orvane/host/HostFiles.h>

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

namespace orvauthctl {

// Exit statuses.
enum ExitStatus { EXIT_OK = 0, EXIT_FAILED = 1, EXIT_USAGE = 2 };

struct Invocation {
    const ParsedArguments& arguments;
    std::ostream& out;
    const orvane::host::HostFiles& files;  // from the global options
};

struct Command {
    std::string name;
    std::string synopsis;     // the words after the command name in "Usage:"
    std::string summary;      // one line, for the command list
    std::string description;  // the paragraph of the command's --help
    std::vector<OptionDefinition> options;  // --help is added for every command
    size_t minOperands = 0;
    size_t maxOperands = 0;  // SIZE_MAX: no limit
    std::function<int(const Invocation&)> run;
    std::vector<std::string> actions;  // the words the first operand may be; empty: any
};

// Every command, in the order the help lists them.
const std::vector<Command>& AllCommands();
// The command called name, or null.
const Command* FindCommand(const std::string& name);

// The groups AllCommands() is made of.
std::vector<Command> StoreCommands();
std::vector<Command> MembershipCommands();
std::vector<Command> DirectoryCommands();
std::vector<Command> SystemFileCommands();
std::vector<Command> DiscoverCommands();

// The options before the command: the host settings' and the tool's own
// (--verbose, --version, --help).
const std::vector<OptionDefinition>& ToolOptions();

void PrintCommandHelp(std::ostream& out, const Command& command);
void PrintToolHelp(std::ostream& out);

}  // namespace orvauthctl
