// Files of `key = value` lines, read one line at a time:
//
//   # a comment (only as the first non-blank character of a line)
//   key = value
//
// Keys are lower-case letters, digits and '_'. Blanks around the key and
// after '=' are ignored; the value runs to the end of the line (a trailing
// '\r' removed), its trailing blanks kept for the caller to judge. Templated
// on the string type, so that a file holding a secret is parsed in wiping
// memory from end to end.
#pragma once

#include <cstddef>
#include <string>

namespace orvauth_base {

enum class LineKind { Empty, Entry, Malformed };  // Empty: blank or a comment

template <typename String>
struct KeyValueLine {
    LineKind kind = LineKind::Empty;
    std::string key;
    String value;
};

template <typename String>
KeyValueLine<String> ReadKeyValueLine(const String& text)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    const auto keyCharacter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_'; };
    KeyValueLine<String> line;
    std::size_t end = text.size();
    if (end > 0 && text[end - 1] == '\r') {
        --end;
    }
    std::size_t at = 0;
    while (at < end && blank(text[at])) {
        ++at;
    }
    if (at == end || text[at] == '#') {
        return line;
    }
    const std::size_t keyStart = at;
    while (at < end && keyCharacter(text[at])) {
        ++at;
    }
    line.key.assign(text.data() + keyStart, at - keyStart);
    while (at < end && blank(text[at])) {
        ++at;
    }
    if (line.key.empty() || at == end || text[at] != '=') {
        line.kind = LineKind::Malformed;
        return line;
    }
    ++at;
    while (at < end && blank(text[at])) {
        ++at;
    }
    line.kind = LineKind::Entry;
    line.value.assign(text.data() + at, end - at);
    return line;
}

// Calls visit(line) for every line of text, in order; stops and returns
// false as soon as visit does.
template <typename String, typename Visit>
bool ForEachLine(const String& text, Visit&& visit)
{
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        end = end == String::npos ? text.size() : end;
        if (!visit(String(text.data() + start, end - start))) {
            return false;
        }
        start = end + 1;
    }
    return true;
}

}  // namespace orvauth_base
