#include "Arguments.h"

#include <algorithm>

namespace orvauthctl {

std::string ParsedArguments::Value(const std::string& name, const std::string& fallback) const
{
    auto found = options.find(name);
    return found == options.end() ? fallback : found->second;
}

ParsedArguments ParseArguments(const std::vector<std::string>& words, const std::vector<OptionDefinition>& definitions,
                               bool stopAtOperand)
{
    ParsedArguments parsed;
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (word == "--") {
            parsed.operands.insert(parsed.operands.end(), words.begin() + i + 1, words.end());
            break;
        }
        // A lone "-" is an operand (standard input, by convention).
        if (word.size() < 2 || word[0] != '-') {
            if (stopAtOperand) {
                parsed.operands.insert(parsed.operands.end(), words.begin() + i, words.end());
                break;
            }
            parsed.operands.push_back(word);
            continue;
        }
        std::string name = word == "-v" ? "verbose" : "help";
        std::string value;
        bool inlineValue = false;
        if (word != "-h" && word != "-v") {
            if (word.rfind("--", 0) != 0) {
                throw UsageError("unknown option '" + word + "'");
            }
            name = word.substr(2);
            size_t equals = name.find('=');
            if (equals != std::string::npos) {
                value = name.substr(equals + 1);
                name.erase(equals);
                inlineValue = true;
            }
        }
        auto definition = std::find_if(definitions.begin(), definitions.end(), [&](const OptionDefinition& s) { return s.name == name; });
        if (definition == definitions.end()) {
            throw UsageError("unknown option '" + word + "'");
        }
        if (definition->valueName.empty()) {
            if (inlineValue) {
                throw UsageError("option '--" + name + "' takes no value");
            }
        } else if (!inlineValue) {
            if (i + 1 == words.size()) {
                throw UsageError("option '--" + name + "' needs a value " + definition->valueName);
            }
            value = words[++i];
        }
        parsed.options[name] = value;
    }
    return parsed;
}

}  // namespace orvauthctl
