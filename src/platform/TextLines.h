// Line and word splitting for the host's line-oriented text files.
#pragma once

#include <string>
#include <vector>

namespace OrvPlatform {
namespace Detail {

// Lines without their newlines; a missing final newline loses nothing.
inline std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

inline std::string JoinLines(const std::vector<std::string>& lines)
{
    std::string text;
    for (const auto& line : lines) {
        text += line;
        text += '\n';
    }
    return text;
}

// Blank-separated words of the text before the first comment character.
inline std::vector<std::string> Words(const std::string& line, const char* commentCharacters)
{
    std::string content = line.substr(0, line.find_first_of(commentCharacters));
    std::vector<std::string> words;
    size_t start = content.find_first_not_of(" \t\r");
    while (start != std::string::npos) {
        size_t end = content.find_first_of(" \t\r", start);
        words.push_back(content.substr(start, end == std::string::npos ? std::string::npos : end - start));
        start = content.find_first_not_of(" \t\r", end == std::string::npos ? content.size() : end);
    }
    return words;
}

// True for a non-empty word that can stand in these files as one field.
inline bool IsPlainWord(const std::string& word)
{
    if (word.empty()) {
        return false;
    }
    for (char c : word) {
        if (static_cast<unsigned char>(c) <= ' ' || c == '#' || c == ';' || c == 0x7f) {
            return false;
        }
    }
    return true;
}

}  // namespace Detail
}  // namespace OrvPlatform
