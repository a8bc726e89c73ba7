// The reference plug-ins keep their simulated world in a small text file next
// to the shared object. One setting per line:
//
//   # a comment (only as the first non-blank character of a line)
//   key = value
//
// Keys are lower-case letters, digits and '_'. Blanks around the key and
// after '=' are ignored; the value runs to the end of the line, trailing
// blanks removed (RawValue keeps them). A key may repeat: list settings are
// one line per entry, in file order. Rewriting keeps every other line,
// comments included, and replaces the changed keys' lines at the end of the
// file.
#pragma once

#include <string>
#include <vector>

namespace orvauth_plugin {

class StateFile {
public:
    // A missing file reads as an empty one. Throws StatusError: 1359 for an
    // unreadable file or a line that is not a comment, blank or key = value.
    static StateFile Read(const std::string& path);

    // The last value of key, or "" when it is absent.
    std::string Value(const std::string& key) const;
    bool Has(const std::string& key) const;
    // Every value of key, in file order.
    std::vector<std::string> Values(const std::string& key) const;
    // As Values, with the trailing blanks each line had.
    std::vector<std::string> RawValues(const std::string& key) const;
    // Every key in the file, in file order, repeats included.
    std::vector<std::string> Keys() const;

    // Replaces every line of key with one line per value, at the end.
    void Replace(const std::string& key, const std::vector<std::string>& values);
    void Set(const std::string& key, const std::string& value) { Replace(key, {value}); }
    void Remove(const std::string& key) { Replace(key, {}); }

    // The file's text as Write would store it.
    std::string Text() const;

    // Replaces the file at path atomically (base/FileReplacement.h): a link
    // stays a link, the old file's mode and owner are kept; a new file is
    // readable by its owner only. Throws
    // StatusError: 5 when the directory or file may not be written, 1359
    // otherwise; the old file is then untouched.
    void Write(const std::string& path) const;

    // Appends one key = value line to the file at path with a single write,
    // so concurrent readers never see half a line.
    static void Append(const std::string& path, const std::string& key, const std::string& value);

private:
    struct Line {
        std::string key;    // empty for comments and blank lines
        std::string value;  // trailing blanks removed
        std::string raw;    // the line as it was read, without its newline
    };
    std::vector<Line> lines;
};

// True when text can be stored as a value: no line breaks or other control
// characters that would split or corrupt a line.
bool IsStorable(const std::string& text);

// The directory holding the state files: the directory of the shared object
// that contains address, or its parent when that directory is called lib64.
// Throws StatusError 1359 when the loader cannot say.
std::string PluginDirectory(const void* address);

}  // namespace orvauth_plugin
