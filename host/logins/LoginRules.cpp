#include "logins/LoginRules.h"

#include <algorithm>
#include <cctype>
#include <functional>
#include <sstream>
#include <vector>

namespace orvane::host {
namespace {

using SystemConfiguration::NSSConfiguration;
using SystemConfiguration::NSSDatabase;
using SystemConfiguration::NSSService;
using SystemConfiguration::PAMControl;
using SystemConfiguration::PAMEntry;
using SystemConfiguration::PAMFacility;
using SystemConfiguration::PAMPolicy;
using SystemConfiguration::PAMStack;

const NSSDatabase::Database LOGIN_DATABASES[] = {NSSDatabase::Passwd, NSSDatabase::Group, NSSDatabase::Shadow};
const PAMFacility::Facility LOGIN_FACILITIES[] = {PAMFacility::Auth, PAMFacility::Account, PAMFacility::Password,
                                                  PAMFacility::Session};
const char* const UNIX_MODULE = "pam_unix.so";

LoginState Combine(size_t withModule, size_t total)
{
    return withModule == 0 ? LoginState::Off : withModule == total ? LoginState::On : LoginState::Partly;
}

bool IsWord(const std::string& text, const std::string& forbidden)
{
    return !text.empty() && std::none_of(text.begin(), text.end(), [&](char c) {
        return std::isspace(static_cast<unsigned char>(c)) || std::iscntrl(static_cast<unsigned char>(c)) ||
               forbidden.find(c) != std::string::npos;
    });
}

// --- name-service switch ------------------------------------------------------

bool HasService(const NSSConfiguration::Services& services, const std::string& module)
{
    return std::any_of(services.begin(), services.end(), [&](const NSSService& s) { return s.module() == module; });
}

// --- PAM ----------------------------------------------------------------------

// The number of rules an action skips, or -1 for a named action.
long Jump(const std::string& action)
{
    bool number = !action.empty() && action.size() < 9 &&
                  std::all_of(action.begin(), action.end(), [](char c) { return c >= '0' && c <= '9'; });
    return number ? std::stol(action) : -1;
}

// A bracketed control with every jump passed through change; the text as
// it was when no jump changes. visit sees each "value=action" pair.
std::string ChangeJumps(const std::string& text, const std::function<long(long)>& change,
                        const std::function<void(const std::string&, long)>& visit = nullptr)
{
    std::istringstream words(text.substr(1, text.size() - 2));
    std::string word, result;
    bool changed = false;
    while (words >> word) {
        size_t equals = word.find('=');
        long jump = equals == std::string::npos ? -1 : Jump(word.substr(equals + 1));
        if (visit && equals != std::string::npos) {
            visit(word.substr(0, equals), jump);
        }
        long moved = jump >= 0 ? change(jump) : jump;
        if (moved != jump) {
            word = word.substr(0, equals + 1) + std::to_string(moved);
            changed = true;
        }
        result += (result.empty() ? "" : " ") + word;
    }
    return changed ? "[" + result + "]" : text;
}

// The rules that follow the insertion (or removal) point keep their
// targets: every jump of an earlier rule that lands at or beyond it is
// moved by delta. Removal (delta -1) of the rule at position refuses a jump
// over that rule alone.
void ShiftJumpsAcross(PAMStack& stack, size_t position, long delta)
{
    for (size_t index = 0; index < position; ++index) {
        PAMEntry& entry = stack[index];
        if (entry.control() != PAMControl::Bracketed) {
            continue;
        }
        const std::string text = entry.control();
        std::string changed = ChangeJumps(text, [&](long jump) {
            size_t target = index + 1 + static_cast<size_t>(jump);
            if (delta > 0 ? target < position : target <= position) {
                return jump;
            }
            if (jump + delta < 1) {
                throw LoginEditRefused("the rule '" + text + " " + entry.module() + "' jumps over '" +
                                       stack[position].module() + "' alone");
            }
            return jump + delta;
        });
        if (changed != text) {
            PAMEntry replacement(PAMControl(PAMControl::Bracketed, changed), entry.module());
            replacement.parameters() = entry.parameters();
            entry = replacement;
        }
    }
}

PAMStack::iterator FindUnix(PAMStack& stack)
{
    return std::find_if(stack.begin(), stack.end(), [](const PAMEntry& entry) {
        const std::string& module = entry.module();
        size_t slash = module.rfind('/');
        return module.compare(slash == std::string::npos ? 0 : slash + 1, std::string::npos, UNIX_MODULE) == 0;
    });
}

// The success jump of a bracketed control, or -1.
long SuccessJump(const PAMControl& control)
{
    long jump = -1;
    ChangeJumps(
        control, [](long value) { return value; },
        [&](const std::string& value, long action) { jump = value == "success" ? action : jump; });
    return jump;
}

void Insert(PAMStack& stack, size_t position, PAMEntry entry)
{
    ShiftJumpsAcross(stack, position, +1);
    stack.insert(stack.begin() + static_cast<long>(position), std::move(entry));
}

void EnableInStack(PAMStack& stack, const LoginModules& modules)
{
    const std::string facility = stack.Facility();
    auto make = [&](const PAMControl& control) {
        PAMEntry entry(control, modules.pamModule);
        entry.parameters() = modules.pamParameters;
        return entry;
    };
    auto unix = FindUnix(stack);
    size_t afterUnix = static_cast<size_t>(unix - stack.begin()) + 1;
    switch (static_cast<PAMFacility::Facility>(stack.Facility())) {
    case PAMFacility::Account:
        Insert(stack, stack.size(), make(PAMControl(PAMControl::Bracketed, "[default=bad success=ok user_unknown=ignore]")));
        return;
    case PAMFacility::Session:
        Insert(stack, unix == stack.end() ? stack.size() : afterUnix, make(PAMControl(PAMControl::Optional)));
        return;
    default:
        break;
    }
    if (unix == stack.end()) {
        throw LoginEditRefused("the " + facility + " rules have no " + UNIX_MODULE + " to add " + modules.pamModule +
                               " next to");
    }
    if (unix->control() == PAMControl::Sufficient) {
        Insert(stack, afterUnix, make(PAMControl(PAMControl::Sufficient)));
        return;
    }
    long jump = unix->control() == PAMControl::Bracketed ? SuccessJump(unix->control()) : -1;
    if (jump < 1) {
        throw LoginEditRefused("the " + facility + " rule of " + UNIX_MODULE + " ('" + std::string(unix->control()) +
                               "') neither is sufficient nor jumps on success");
    }
    Insert(stack, afterUnix,
           make(PAMControl(PAMControl::Bracketed, "[success=" + std::to_string(jump) + " default=ignore]")));
}

// The policy's stacks that directory logins concern and that hold rules.
std::vector<PAMFacility> LoginStacks(const PAMPolicy& policy)
{
    std::vector<PAMFacility> present;
    for (PAMFacility::Facility facility : LOGIN_FACILITIES) {
        auto found = policy.GetStacks().find(facility);
        if (found != policy.GetStacks().end() && !found->second.empty()) {
            present.push_back(facility);
        }
    }
    return present;
}

}  // namespace

const char* LoginStateName(LoginState state)
{
    switch (state) {
    case LoginState::On:
        return "on";
    case LoginState::Partly:
        return "partly on";
    default:
        return "off";
    }
}

void CheckLoginModules(const LoginModules& modules)
{
    // '#' would start a comment in either file, brackets a status-action
    // group or a bracketed control.
    if (!IsWord(modules.pamModule, "#[]")) {
        throw LoginEditRefused("the plug-in's PAM module '" + modules.pamModule + "' cannot be written as one word");
    }
    if (!IsWord(modules.nssModule, "#[]:")) {
        throw LoginEditRefused("the plug-in's NSS module '" + modules.nssModule + "' cannot be written as one word");
    }
    for (const std::string& parameter : modules.nssParameters) {
        if (!IsWord(parameter, "#[]")) {
            throw LoginEditRefused("the plug-in's NSS module parameter '" + parameter + "' cannot be written");
        }
    }
}

LoginState GetLoginState(const NSSConfiguration& configuration, const LoginModules& modules)
{
    size_t on = 0;
    for (NSSDatabase::Database database : LOGIN_DATABASES) {
        auto found = configuration.find(database);
        on += found != configuration.end() && HasService(found->second, modules.nssModule) ? 1 : 0;
    }
    return Combine(on, sizeof LOGIN_DATABASES / sizeof LOGIN_DATABASES[0]);
}

bool EnableLogins(PAMPolicy& policy, const LoginModules& modules)
{
    std::vector<PAMFacility> stacks = LoginStacks(policy);
    if (stacks.empty()) {
        throw LoginEditRefused("it has no auth, account, password or session rules");
    }
    bool changed = false;
    for (const PAMFacility& facility : stacks) {
        PAMStack& stack = policy[facility];
        if (stack.find(modules.pamModule) == stack.end()) {
            EnableInStack(stack, modules);
            changed = true;
        }
    }
    return changed;
}

bool DisableLogins(PAMPolicy& policy, const LoginModules& modules)
{
    bool changed = false;
    for (const PAMFacility& facility : LoginStacks(policy)) {
        PAMStack& stack = policy[facility];
        for (size_t index = stack.size(); index-- > 0;) {
            if (stack[index].module() == modules.pamModule) {
                ShiftJumpsAcross(stack, index, -1);
                stack.erase(stack.begin() + static_cast<long>(index));
                changed = true;
            }
        }
    }
    return changed;
}

LoginState GetLoginState(const PAMPolicy& policy, const LoginModules& modules)
{
    std::vector<PAMFacility> stacks = LoginStacks(policy);
    size_t on = std::count_if(stacks.begin(), stacks.end(), [&](const PAMFacility& facility) {
        const PAMStack& stack = policy.GetStacks().at(facility);
        return stack.find(modules.pamModule) != stack.end();
    });
    return Combine(on, stacks.size());
}

}  // namespace orvane::host

namespace orvane::host {
namespace {

// A line's parts: "<lead><database>:<sources><tail>" where tail is the
// trailing comment (with the white space before it) or the empty string.
struct NssLine {
    std::string database;
    std::string head;     // up to and including the colon
    std::string sources;  // the text after the colon, trailing space excluded
    std::string tail;
};

bool ParseNssLine(const std::string& line, NssLine& parsed)
{
    size_t colon = line.find(':');
    size_t comment = line.find('#');
    if (colon == std::string::npos || (comment != std::string::npos && comment < colon)) {
        return false;
    }
    std::istringstream name(line.substr(0, colon));
    if (!(name >> parsed.database)) {
        return false;
    }
    parsed.head = line.substr(0, colon + 1);
    std::string rest = line.substr(colon + 1);
    size_t hash = std::min(rest.find('#'), rest.size());
    size_t last = hash == 0 ? std::string::npos : rest.find_last_not_of(" \t", hash - 1);
    size_t end = last == std::string::npos ? 0 : last + 1;
    parsed.sources = rest.substr(0, end);
    parsed.tail = rest.substr(end);
    return true;
}

bool IsLoginDatabase(const std::string& database)
{
    return database == "passwd" || database == "group" || database == "shadow";
}

// Rebuilds text line by line through edit, which may change a login
// database's line; every other line and the final newline stay.
std::string EditLines(const std::string& text, const std::function<void(NssLine&)>& edit)
{
    std::string result;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = std::min(text.find('\n', start), text.size());
        std::string line = text.substr(start, end - start);
        NssLine parsed;
        if (ParseNssLine(line, parsed) && IsLoginDatabase(parsed.database)) {
            std::string sources = parsed.sources;
            edit(parsed);
            if (parsed.sources != sources) {
                line = parsed.head + parsed.sources + parsed.tail;
            }
        }
        result += line + (end < text.size() ? "\n" : "");
        start = end + 1;
    }
    return result;
}

std::vector<std::string> Words(const std::string& text)
{
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string word; in >> word;) {
        words.push_back(word);
    }
    return words;
}

}  // namespace

std::string AddNssService(const std::string& text, const LoginModules& modules, std::vector<std::string>& added)
{
    std::vector<std::string> seen;
    std::string result = EditLines(text, [&](NssLine& line) {
        seen.push_back(line.database);
        std::vector<std::string> words = Words(line.sources);
        if (std::find(words.begin(), words.end(), modules.nssModule) == words.end()) {
            line.sources += " " + modules.nssModule;
            added.push_back(line.database);
        }
    });
    for (const char* database : {"passwd", "group", "shadow"}) {
        if (std::find(seen.begin(), seen.end(), database) == seen.end()) {
            throw LoginEditRefused(std::string("there is no ") + database + " line");
        }
    }
    return result;
}

std::string RemoveNssService(const std::string& text, const LoginModules& modules,
                             const std::vector<std::string>& databases)
{
    return EditLines(text, [&](NssLine& line) {
        if (std::find(databases.begin(), databases.end(), line.database) == databases.end()) {
            return;
        }
        // Only the word itself goes, with the white space before it.
        std::string& sources = line.sources;
        for (size_t at = sources.find(modules.nssModule); at != std::string::npos;
             at = sources.find(modules.nssModule, at + 1)) {
            size_t end = at + modules.nssModule.size();
            bool word = (at == 0 || std::isspace(static_cast<unsigned char>(sources[at - 1]))) &&
                        (end == sources.size() || std::isspace(static_cast<unsigned char>(sources[end])));
            if (word) {
                size_t from = sources.find_last_not_of(" \t", at == 0 ? 0 : at - 1);
                from = at == 0 || from == std::string::npos ? at : from + 1;
                sources.erase(from, end - from);
                return;
            }
        }
    });
}

}  // namespace orvane::host
