// orvauthctl: the operator's client of the authentication library.
//
//   orvauthctl [<global options>] <command> [<arguments>]
//
// Global options go to the platform layer's settings; the command runs one
// library operation and prints its result. Failures print the library's
// own message.
#include "Command.h"
#include "FailureHints.h"
#include "HostSettings.h"
#include "LogCapture.h"

#include <algorithm>
#include <iostream>

using namespace orvauthctl;

namespace {

const char* const TRY_HELP = "Try 'orvauthctl --help'.";

// Usage errors name the command whose help explains them.
int UsageFailure(const std::string& message, const Command* command)
{
    std::cerr << "orvauthctl: " << message << '\n';
    if (command != nullptr) {
        std::cerr << "Try 'orvauthctl " << command->name << " --help'.\n";
    } else {
        std::cerr << TRY_HELP << '\n';
    }
    return EXIT_USAGE;
}

void CheckCommandArguments(const Command& command, const ParsedArguments& arguments)
{
    for (const OptionDefinition& option : command.options) {
        if (option.required && !arguments.Has(option.name)) {
            throw UsageError(command.name + " needs --" + option.name + " " + option.valueName);
        }
    }
    size_t count = arguments.operands.size();
    if (count < command.minOperands) {
        throw UsageError(command.name + ": missing operand (" + command.synopsis + ")");
    }
    if (count > command.maxOperands) {
        throw UsageError(command.name + ": unexpected operand '" + arguments.operands[command.maxOperands] + "'");
    }
    const std::vector<std::string>& actions = command.actions;
    if (!actions.empty() && std::find(actions.begin(), actions.end(), arguments.operands[0]) == actions.end()) {
        std::string expected;
        for (size_t i = 0; i < actions.size(); ++i) {
            expected += (i == 0 ? "" : i + 1 == actions.size() ? " or " : ", ") + actions[i];
        }
        throw UsageError(command.name + ": unknown action '" + arguments.operands[0] + "' (expected: " + expected + ")");
    }
}

std::string UnknownCommand(const std::string& name)
{
    std::string known;
    for (const Command& command : AllCommands()) {
        known += (known.empty() ? "" : ", ") + command.name;
    }
    return "unknown command '" + name + "' (the commands: " + known + ")";
}

int PrintVersion()
{
    std::cout << "orvauthctl " ORVAUTHCTL_VERSION "\n";
    return EXIT_OK;
}

// The library's message as it is, then what the tool knows of the cause:
// the problems the library and the plug-in logged (unless --verbose showed
// them already) and the fix.
int Failure(const std::exception& error, const Command* command, const ParsedArguments& arguments, bool verbose)
{
    std::cout.flush();
    std::cerr << "orvauthctl: " << error.what() << '\n';
    if (!verbose) {
        for (const std::string& line : LoggedProblems()) {
            std::cerr << "orvauthctl: logged: " << line << '\n';
        }
    }
    if (command != nullptr) {
        for (const std::string& hint : FailureHints(command->name, arguments, error)) {
            std::cerr << "orvauthctl: " << hint << '\n';
        }
    }
    return EXIT_FAILED;
}

int Run(const std::vector<std::string>& words)
{
    const Command* command = nullptr;
    ParsedArguments arguments;
    bool verbose = false;
    try {
        ParsedArguments global = ParseArguments(words, ToolOptions(), true);
        verbose = global.Has("verbose");
        if (verbose) {
            CopyLogToStandardError();
        }
        if (global.Has("version")) {
            return PrintVersion();
        }
        const bool helpOnHelp = global.operands.size() == 2 && global.operands[0] == "help" &&
                                global.operands[1] == "help";
        if (global.Has("help") || (global.operands.size() == 1 && global.operands[0] == "help") || helpOnHelp) {
            PrintToolHelp(std::cout);
            return EXIT_OK;
        }
        if (global.operands.empty()) {
            PrintToolHelp(std::cerr);
            return EXIT_USAGE;
        }
        if (global.operands[0] == "help") {  // help <command>
            command = FindCommand(global.operands[1]);
            if (command == nullptr) {
                return UsageFailure(UnknownCommand(global.operands[1]), nullptr);
            }
            PrintCommandHelp(std::cout, *command);
            return EXIT_OK;
        }
        command = FindCommand(global.operands[0]);
        if (command == nullptr) {
            return UsageFailure(UnknownCommand(global.operands[0]), nullptr);
        }
        // The global options may also follow the command.
        std::vector<OptionDefinition> options = command->options;
        options.insert(options.end(), ToolOptions().begin(), ToolOptions().end());
        arguments = ParseArguments(std::vector<std::string>(global.operands.begin() + 1, global.operands.end()), options);
        for (const OptionDefinition& option : GlobalOptions()) {
            auto given = arguments.options.find(option.name);
            if (given != arguments.options.end() && option.name != "help" && option.name != "version") {
                global.options[option.name] = given->second;
                arguments.options.erase(given);
            }
        }
        if (arguments.Has("help")) {
            PrintCommandHelp(std::cout, *command);
            return EXIT_OK;
        }
        if (arguments.Has("version")) {
            return PrintVersion();
        }
        if (arguments.Has("verbose") && !verbose) {
            verbose = true;
            CopyLogToStandardError();
        }
        CheckCommandArguments(*command, arguments);
        const orvane::host::HostFiles files = ApplyHostSettings(global);
        return command->run(Invocation{arguments, std::cout, files});
    } catch (const UsageError& e) {
        return UsageFailure(e.what(), command);
    } catch (const std::exception& e) {
        return Failure(e, command, arguments, verbose);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    int status = Run(std::vector<std::string>(argv + 1, argv + argc));
    std::cout.flush();
    if (!std::cout) {
        std::cerr << "orvauthctl: cannot write to standard output\n";
        return EXIT_FAILED;
    }
    return status;
}
