#include "base/AdClientSettings.h"

#include "base/KeyValueLine.h"

#include <string>
#include <vector>

namespace orvauth_base {
namespace adclient_settings {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Whether line is the file's commented-out default of key: "#key = ...",
// blanks allowed around the key.
bool IsCommentedDefault(const std::string& line, const std::string& key)
{
    std::size_t at = 0;
    while (at < line.size() && IsBlank(line[at])) {
        ++at;
    }
    if (at == line.size() || line[at] != '#') {
        return false;
    }
    const auto parsed = ReadKeyValueLine(line.substr(at + 1));
    return parsed.kind == LineKind::Entry && parsed.key == key;
}

}  // namespace

std::string ValueProblem(const std::string& key, const std::string& value)
{
    if (key == USE_LDAPS) {
        return value == "yes" || value == "no" ? "" : "use_ldaps is \"" + value + "\": give yes or no";
    }
    if (key == DESCRIPTION) {
        for (const char c : value) {
            if ((static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7f) {
                return "the description holds a control character: give one line of text";
            }
        }
        if (value.size() > DESCRIPTION_LIMIT) {
            return "the description has " + std::to_string(value.size()) + " bytes; the directory takes at most " +
                   std::to_string(DESCRIPTION_LIMIT);
        }
        return "";
    }
    if (key == DEFAULT_SHELL || key == HOME_DIRECTORY) {
        const std::string what = key == DEFAULT_SHELL ? "the default shell" : "the home directory";
        if (value.empty() || value.front() != '/') {
            return what + " \"" + value + "\" is not an absolute path";
        }
        for (std::size_t i = 0; i < value.size(); ++i) {
            const unsigned char c = static_cast<unsigned char>(value[i]);
            // SSSD's configuration file takes none of these in a value.
            if (c <= 0x20 || c == 0x7f || std::string("\\,[]#;").find(static_cast<char>(c)) != std::string::npos) {
                return what + " holds a blank, a control character or one of \\ , [ ] # ;";
            }
            // SSSD's template sequences; a shell has none.
            if (c == '%' && (key == DEFAULT_SHELL || i + 1 == value.size() ||
                             std::string("uUdflPohH%").find(value[i + 1]) == std::string::npos)) {
                return what + " holds a % that is not one of SSSD's %u, %U, %d, %f, %l, %P, %o, %h, %H, %%";
            }
            i += c == '%' ? 1 : 0;
        }
        return "";
    }
    return "unknown key \"" + key + "\" (the keys are " + USE_LDAPS + ", " + DESCRIPTION + ", " + DEFAULT_SHELL +
           " and " + HOME_DIRECTORY + ")";
}

std::string WithSetting(const std::string& text, const std::string& key, const std::string& value)
{
    std::vector<std::string> lines;
    ForEachLine(text, [&lines](const std::string& line) {
        lines.push_back(line);
        return true;
    });
    const std::string setting = key + " = " + value;
    std::vector<std::string> edited;
    bool placed = false;
    std::size_t afterDefault = std::string::npos;
    for (const std::string& line : lines) {
        const auto parsed = ReadKeyValueLine(line);
        if (parsed.kind == LineKind::Entry && parsed.key == key) {
            if (!placed) {
                edited.push_back(setting);
                placed = true;
            }
            continue;
        }
        edited.push_back(line);
        if (afterDefault == std::string::npos && IsCommentedDefault(line, key)) {
            afterDefault = edited.size();
        }
    }
    if (!placed) {
        edited.insert(afterDefault == std::string::npos ? edited.end()
                                                        : edited.begin() + static_cast<std::ptrdiff_t>(afterDefault),
                      setting);
    }
    std::string result;
    for (const std::string& line : edited) {
        result += line + "\n";
    }
    return result;
}

}  // namespace adclient_settings
}  // namespace orvauth_base
