// Case and blanks of ASCII text (names, keys, words of configuration files)
// the same way everywhere, whatever locale the embedding program set.
#pragma once

#include <algorithm>
#include <string>

namespace orvauth_base {

inline char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
inline char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

inline std::string ToUpper(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), AsciiUpper);
    return text;
}

inline std::string ToLower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), AsciiLower);
    return text;
}

inline bool StartsWithIgnoringCase(const std::string& text, const std::string& prefix)
{
    return text.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
               return AsciiUpper(a) == AsciiUpper(b);
           });
}

inline bool EqualsIgnoringCase(const std::string& left, const std::string& right)
{
    return left.size() == right.size() && StartsWithIgnoringCase(left, right);
}

// text without the blanks at either end.
inline std::string Trim(const std::string& text, const char* blanks = " \t\r")
{
    const std::size_t first = text.find_first_not_of(blanks);
    return first == std::string::npos ? "" : text.substr(first, text.find_last_not_of(blanks) + 1 - first);
}

}  // namespace orvauth_base
