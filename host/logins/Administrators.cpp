#include <orvane/host/Administrators.h>


#include <cctype>
#include <sstream>
#include <stdexcept>

namespace orvane::host {
namespace {

const char* const HEADER =
    "# Written by orvauthctl (logins admins): the directory's users and groups who may run\n"
    "# any command as root. Change it with the tool; logins admins --none removes this file.\n";
const char* const RULE = " ALL=(ALL:ALL) ALL";

bool Plain(unsigned char c) { return std::isalnum(c) || c == '.' || c == '_' || c == '@' || c == '-'; }

int HexDigit(char c)
{
    return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

// The name a word of FormatSudoersDropIn's stands for.
std::string Unescape(const std::string& word)
{
    std::string name;
    for (size_t at = 0; at < word.size(); ++at) {
        if (word[at] != '\\') {
            if (!Plain(static_cast<unsigned char>(word[at]))) {
                throw std::runtime_error("the name '" + word + "' is not written as the tool writes names");
            }
            name += word[at];
            continue;
        }
        if (at + 3 >= word.size() || word[at + 1] != 'x' || HexDigit(word[at + 2]) < 0 ||
            HexDigit(word[at + 3]) < 0) {
            throw std::runtime_error("the name '" + word + "' holds an escape the tool does not write");
        }
        name += static_cast<char>(HexDigit(word[at + 2]) * 16 + HexDigit(word[at + 3]));
        at += 3;
    }
    return name;
}

}  // namespace

const char* const SUDOERS_DROP_IN = "orvauth-admins";

std::string SudoersWord(const std::string& name, bool group)
{
    static const char* const HEX = "0123456789abcdef";
    std::string word = group ? "%" : "";
    for (char c : name) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (Plain(byte)) {
            word += c;
        } else {
            word += std::string("\\x") + HEX[byte >> 4] + HEX[byte & 15];
        }
    }
    return word;
}

std::string FormatSudoersDropIn(const Administrators& administrators)
{
    std::string text = HEADER;
    for (const std::string& user : administrators.users) {
        text += SudoersWord(user, false) + RULE + "\n";
    }
    for (const std::string& group : administrators.groups) {
        text += SudoersWord(group, true) + RULE + "\n";
    }
    return text;
}

Administrators ParseSudoersDropIn(const std::string& text)
{
    if (text.compare(0, std::string(HEADER).size(), HEADER) != 0) {
        throw std::runtime_error("it was not written by orvauthctl (its first lines differ)");
    }
    Administrators administrators;
    std::istringstream lines(text.substr(std::string(HEADER).size()));
    for (std::string line; std::getline(lines, line);) {
        const size_t rule = line.find(RULE);
        if (rule == std::string::npos || rule == 0 || rule + std::string(RULE).size() != line.size()) {
            throw std::runtime_error("it has a line '" + line + "' the tool does not write");
        }
        const std::string word = line.substr(0, rule);
        const bool group = word[0] == '%';
        std::string name = Unescape(group ? word.substr(1) : word);
        if (name.empty()) {
            throw std::runtime_error("it has a rule without a name: '" + line + "'");
        }
        (group ? administrators.groups : administrators.users).insert(name);
    }
    return administrators;
}

std::vector<std::string> DescribeAdministrators(const Administrators& administrators)
{
    std::vector<std::string> lines;
    for (const std::string& user : administrators.users) {
        lines.push_back("user " + user);
    }
    for (const std::string& group : administrators.groups) {
        lines.push_back("group " + group);
    }
    if (lines.empty()) {
        lines.push_back("none from the directory (logins admins --user/--group names them)");
    }
    return lines;
}

std::vector<std::string> AdministratorsNotPermitted(const Administrators& administrators, const LoginAccess& access)
{
    std::vector<std::string> lines;
    if (access.mode == AccessMode::Everyone || access.mode == AccessMode::DomainPolicy) {
        return lines;
    }
    for (const std::string& user : administrators.users) {
        if (access.users.count(user) == 0) {
            lines.push_back("user " + user);
        }
    }
    for (const std::string& group : administrators.groups) {
        if (access.groups.count(group) == 0) {
            lines.push_back("group " + group);
        }
    }
    return lines;
}

}  // namespace orvane::host
