#include "Command.h"
#include "HostSettings.h"
#include "LoginCommands.h"

#include <orvane/authentication/Configuration.h>

#include <algorithm>
#include <iomanip>
#include <ostream>

namespace orvauthctl {
namespace {

constexpr int OPTION_COLUMN = 30;

void PrintOptions(std::ostream& out, const std::vector<OptionDefinition>& options)
{
    for (const OptionDefinition& option : options) {
        std::string head = "  --" + option.name + (option.valueName.empty() ? "" : " " + option.valueName);
        out << std::left << std::setw(OPTION_COLUMN) << head;
        if (head.size() >= OPTION_COLUMN) {
            out << '\n' << std::string(OPTION_COLUMN, ' ');
        }
        for (char c : option.help) {
            out << c;
            if (c == '\n') {
                out << std::string(OPTION_COLUMN, ' ');
            }
        }
        out << '\n';
    }
}

}  // namespace

const std::vector<Command>& AllCommands()
{
    static const std::vector<Command> commands = [] {
        std::vector<Command> all;
        for (auto group : {StoreCommands, MembershipCommands, DiscoverCommands, DirectoryCommands, SystemFileCommands, LoginCommands}) {
            std::vector<Command> some = group();
            all.insert(all.end(), some.begin(), some.end());
        }
        return all;
    }();
    return commands;
}

const Command* FindCommand(const std::string& name)
{
    const std::vector<Command>& commands = AllCommands();
    auto found = std::find_if(commands.begin(), commands.end(), [&](const Command& c) { return c.name == name; });
    return found == commands.end() ? nullptr : &*found;
}

const std::vector<OptionDefinition>& ToolOptions()
{
    static const std::vector<OptionDefinition> options = [] {
        std::vector<OptionDefinition> all = GlobalOptions();
        auto version = std::find_if(all.begin(), all.end(), [](const OptionDefinition& o) { return o.name == "version"; });
        all.insert(version, {"verbose", "", "copy the library's and the plug-in's log lines to standard\n"
                                                   "error (-v)"});
        return all;
    }();
    return options;
}

void PrintCommandHelp(std::ostream& out, const Command& command)
{
    out << "Usage: orvauthctl [<global options>] " << command.name << ' ' << command.synopsis << "\n\n"
        << command.description << "\n\nOptions:\n";
    std::vector<OptionDefinition> options = command.options;
    options.push_back({"help", "", "print this help and exit"});
    options.push_back({"version", "", "print the version and exit"});
    PrintOptions(out, options);
    out << "\nSee 'orvauthctl --help' for the global options, and orvauthctl(8) for the full reference.\n";
}

void PrintToolHelp(std::ostream& out)
{
    out << "Usage: orvauthctl [<global options>] <command> [<arguments>]\n\n"
           "Manages the host's remote authentication: the active authentication store, membership in\n"
           "an Active Directory domain (with credentials or through an authentication proxy), trusted\n"
           "proxy certificates, directory queries, and PAM and name-service switch files.\n\n"
           "Commands:\n";
    for (const Command& command : AllCommands()) {
        out << "  " << std::left << std::setw(19) << command.name << command.summary << '\n';
    }
    out << "\nGlobal options (settings of the host platform layer, for sandboxes and embedders; they\n"
           "apply to this run only, except --verify-proxy-cert, which is stored in the database):\n";
    PrintOptions(out, ToolOptions());
    out << "\nBuilt in (fixed when the library was built):\n"
           "  configuration directory   " << orvane::authentication::ConfigurationDirectory() << "\n"
           "  plug-in directory         " << orvane::authentication::PluginDirectory() << "\n\n"
           "Run 'orvauthctl <command> --help' for a command's details.\n"
           "Exit status: 0 success, 1 the library refused or failed (its message is printed on\n"
           "standard error), 2 usage error.\n";
}

}  // namespace orvauthctl
