// Writes orvauthctl's bash completion from its command table, when the
// tool is built: the commands, their actions and options, and the global
// options (accepted before and after the command) follow the table, never
// the help text.
#include "../Command.h"

#include <orvane/host/Stores.h>

#include <algorithm>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

using namespace orvauthctl;

namespace {

std::string Words(const std::vector<std::string>& words)
{
    std::string joined;
    for (const std::string& word : words) {
        joined += (joined.empty() ? "" : " ") + word;
    }
    return joined;
}

std::string Options(const std::vector<OptionDefinition>& options)
{
    std::vector<std::string> names;
    for (const OptionDefinition& option : options) {
        names.push_back("--" + option.name);
    }
    return Words(names);
}

// The options that take a value, as a case pattern, by what the value is.
std::string ValuePattern(bool (*kind)(const std::string& valueName))
{
    std::vector<OptionDefinition> all = ToolOptions();
    for (const Command& command : AllCommands()) {
        all.insert(all.end(), command.options.begin(), command.options.end());
    }
    std::vector<std::string> names;
    for (const OptionDefinition& option : all) {
        const std::string name = "--" + option.name;
        if (!option.valueName.empty() && kind(option.valueName) &&
            std::find(names.begin(), names.end(), name) == names.end()) {
            names.push_back(name);
        }
    }
    std::string pattern;
    for (const std::string& name : names) {
        pattern += (pattern.empty() ? "" : " | ") + name;
    }
    return pattern.empty() ? "--never-an-option" : pattern;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::cerr << "usage: orvauthctl_completion <output file>\n";
        return 2;
    }
    std::ofstream out(argv[1]);
    std::vector<std::string> commands, stores;
    for (const Command& command : AllCommands()) {
        commands.push_back(command.name);
    }
    for (const std::string& store : orvane::host::RegisteredStores()) {
        stores.push_back("\"" + store + "\"");
    }
    out << "# bash completion for orvauthctl, written from its command table when it was built.\n\n"
                 "_orvauthctl() {\n"
                 "  local cur prev words cword\n"
                 "  _init_completion || return\n"
                 "  local command='' operands=0 i\n"
                 "  for ((i = 1; i < cword; i++)); do\n"
                 "    case ${words[i]} in\n"
                 "      " << ValuePattern([](const std::string&) { return true; }) << ") ((i++)) ;;\n"
                 "      -*) ;;\n"
                 "      *) [ -z \"$command\" ] && command=${words[i]} || ((operands++)) ;;\n"
                 "    esac\n"
                 "  done\n"
                 "  case $prev in\n"
                 "    " << ValuePattern([](const std::string& v) { return v == "<dir>"; }) << ") _filedir -d; return ;;\n"
                 "    " << ValuePattern([](const std::string& v) { return v == "<path>" || v == "<db>"; })
              << ") _filedir; return ;;\n"
                 "    --verify-proxy-cert) COMPREPLY=($(compgen -W '0 1' -- \"$cur\")); return ;;\n"
                 "    --id-mapping) COMPREPLY=($(compgen -W 'sid posix' -- \"$cur\")); return ;;\n"
                 "    --management-interface) _available_interfaces; return ;;\n"
                 "    " << ValuePattern([](const std::string&) { return true; }) << ") return ;;\n"
                 "  esac\n"
                 "  local global='" << Options(ToolOptions()) << " -v -h' options='' actions=''\n"
                 "  case $command in\n";
    for (const Command& command : AllCommands()) {
        out << "    " << command.name << ") options='" << Options(command.options) << "' actions='"
                  << Words(command.actions) << "' ;;\n";
    }
    out << "  esac\n"
                 "  if [[ $cur == -* ]]; then\n"
                 "    COMPREPLY=($(compgen -W \"$options $global\" -- \"$cur\"))\n"
                 "  elif [ -z \"$command\" ]; then\n"
                 "    COMPREPLY=($(compgen -W '" << Words(commands) << " help' -- \"$cur\"))\n"
                 "  elif [ -n \"$actions\" ] && [ \"$operands\" -eq 0 ]; then\n"
                 "    COMPREPLY=($(compgen -W \"$actions\" -- \"$cur\"))\n"
                 "  else\n"
                 "    case $command in\n"
                 "      help) [ \"$operands\" -eq 0 ] && COMPREPLY=($(compgen -W '" << Words(commands) << "' -- \"$cur\")) ;;\n"
                 "      activate)\n"
                 "        local store\n"
                 "        for store in " << Words(stores) << "; do\n"
                 "          [[ $store == \"${cur//\\\\/}\"* ]] && COMPREPLY+=(\"$(printf %q \"$store\")\")\n"
                 "        done ;;\n"
                 "      import-cert | pam | nss) _filedir ;;\n"
                 "    esac\n"
                 "  fi\n"
                 "} &&\n"
                 "  complete -F _orvauthctl orvauthctl\n";
    out.close();
    return out ? 0 : 1;
}
