#include "common/StateFile.h"

#include "base/FileReplacement.h"
#include "base/KeyValueLine.h"
#include "common/StatusError.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <syslog.h>
#include <unistd.h>

namespace orvauth_plugin {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string TrimTrailing(const std::string& text)
{
    std::string::size_type end = text.size();
    while (end > 0 && IsBlank(text[end - 1])) {
        --end;
    }
    return text.substr(0, end);
}

std::uint32_t StatusForFileError(int error)
{
    return error == EACCES || error == EPERM || error == EROFS ? ORVAUTH_STATUS_ACCESS_DENIED : ORVAUTH_STATUS_INTERNAL_ERROR;
}

}  // namespace

StateFile StateFile::Read(const std::string& path)
{
    StateFile state;
    std::string content;
    if (const int error = orvauth_base::ReadWholeFile(path, content)) {
        if (error == ENOENT) {
            return state;
        }
        // A caller without root's rights hears that, not of a fault.
        Fail(StatusForFileError(error));
    }
    orvauth_base::ForEachLine(content, [&state](const std::string& text) {
        const auto parsed = orvauth_base::ReadKeyValueLine(text);
        if (parsed.kind == orvauth_base::LineKind::Malformed) {
            Fail(ORVAUTH_STATUS_INTERNAL_ERROR);
        }
        Line line;
        line.raw = text.empty() || text.back() != '\r' ? text : text.substr(0, text.size() - 1);
        line.key = parsed.key;
        line.value = TrimTrailing(parsed.value);
        state.lines.push_back(line);
        return true;
    });
    return state;
}

std::string StateFile::Value(const std::string& key) const
{
    const std::vector<std::string> values = Values(key);
    return values.empty() ? std::string() : values.back();
}

bool StateFile::Has(const std::string& key) const { return !Values(key).empty(); }

std::vector<std::string> StateFile::Values(const std::string& key) const
{
    std::vector<std::string> values;
    for (const Line& line : lines) {
        if (line.key == key) {
            values.push_back(line.value);
        }
    }
    return values;
}

std::vector<std::string> StateFile::RawValues(const std::string& key) const
{
    std::vector<std::string> values;
    for (const Line& line : lines) {
        if (line.key != key) {
            continue;
        }
        std::string::size_type at = line.raw.find('=') + 1;
        while (at < line.raw.size() && IsBlank(line.raw[at])) {
            ++at;
        }
        values.push_back(line.raw.substr(at));
    }
    return values;
}

std::vector<std::string> StateFile::Keys() const
{
    std::vector<std::string> keys;
    for (const Line& line : lines) {
        if (!line.key.empty()) {
            keys.push_back(line.key);
        }
    }
    return keys;
}

void StateFile::Replace(const std::string& key, const std::vector<std::string>& values)
{
    std::vector<Line> kept;
    for (Line& line : lines) {
        if (line.key != key) {
            kept.push_back(std::move(line));
        }
    }
    for (const std::string& value : values) {
        Line line;
        line.key = key;
        line.value = TrimTrailing(value);
        line.raw = key + " = " + value;
        kept.push_back(std::move(line));
    }
    lines = std::move(kept);
}

std::string StateFile::Text() const
{
    std::string text;
    for (const Line& line : lines) {
        text += line.raw;
        text += '\n';
    }
    return text;
}

void StateFile::Write(const std::string& path) const
{
    const orvauth_base::ReplacementFailure failure = orvauth_base::ReplaceFile(path, Text(), 0600);
    if (failure.error != 0) {
        // The status only says "denied" or "internal error": the log says
        // which file, which step and why (a full or read-only disk, say).
        syslog(LOG_ERR, "Cannot %s %s: %s; the plug-in's state is unchanged", failure.step, failure.path.c_str(),
               std::strerror(failure.error));
        Fail(StatusForFileError(failure.error));
    }
}

void StateFile::Append(const std::string& path, const std::string& key, const std::string& value)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_APPEND | O_CLOEXEC);
    if (fd < 0) {
        Fail(StatusForFileError(errno));
    }
    // A file whose last line lacks its newline would swallow the new line.
    std::string text = key + " = " + value + "\n";
    struct stat info;
    char last = '\n';
    if (::fstat(fd, &info) == 0 && info.st_size > 0) {
        if (::pread(fd, &last, 1, info.st_size - 1) != 1) {
            last = '\n';
        }
    }
    if (last != '\n') {
        text.insert(text.begin(), '\n');
    }
    const int error = orvauth_base::WriteAll(fd, text.data(), text.size());
    ::close(fd);
    if (error != 0) {
        Fail(StatusForFileError(error));
    }
}

bool IsStorable(const std::string& text)
{
    for (const char c : text) {
        const unsigned char u = static_cast<unsigned char>(c);
        if ((u < 0x20 && c != '\t') || u == 0x7f) {
            return false;
        }
    }
    return true;
}

std::string PluginDirectory(const void* address)
{
    Dl_info info;
    if (::dladdr(address, &info) == 0 || info.dli_fname == nullptr) {
        Fail(ORVAUTH_STATUS_INTERNAL_ERROR);
    }
    std::string path = info.dli_fname;
    const std::string::size_type slash = path.rfind('/');
    std::string directory = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const std::string::size_type parent = directory.rfind('/');
    if (parent != std::string::npos && directory.compare(parent + 1, std::string::npos, "lib64") == 0) {
        directory = parent == 0 ? "/" : directory.substr(0, parent);
    }
    return directory;
}

}  // namespace orvauth_plugin
