#include <orvane/authentication/Configuration.h>
#include <orvane/authentication/Exceptions.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orvane {
namespace authentication {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsQuote(char c) { return c == '"' || c == '\''; }

// Strips the blanks around text and one pair of matching quotes. An
// all-blank text is kept as it is, blanks included.
std::string TrimAndUnquote(const std::string& text, int lineNumber)
{
    std::size_t first = 0;
    while (first < text.size() && IsBlank(text[first])) {
        ++first;
    }
    if (first == text.size()) {
        return text;
    }
    std::size_t last = text.size() - 1;
    while (IsBlank(text[last])) {
        --last;
    }
    if (first == last) {
        if (IsQuote(text[first])) {
            throw ConfigurationError("Error parsing configuration at line " + string_cast<int>(lineNumber) +
                                     ": invalid quoting");
        }
        return std::string(1, text[first]);
    }
    if (IsQuote(text[first]) && text[last] == text[first]) {
        return text.substr(first + 1, last - first - 1);
    }
    return text.substr(first, last - first + 1);
}

bool IsBlankLine(const std::string& line)
{
    for (char c : line) {
        if (!IsBlank(c)) {
            return false;
        }
    }
    return true;
}

// Why a pair would not read back as written, or nullptr when it would.
const char* WhyUnwritable(const std::string& key, const std::string& value)
{
    if (key.empty()) {
        return "the key is empty";
    }
    if (key.find('\n') != std::string::npos || value.find('\n') != std::string::npos) {
        return "a line feed cannot be written";
    }
    if (key.find('=') != std::string::npos) {
        return "a key cannot contain '='";
    }
    if (IsBlank(key.front()) || IsBlank(key.back())) {
        return "a key cannot begin or end with a blank";
    }
    if (IsQuote(key.front()) && (key.size() == 1 || key.back() == key.front())) {
        return "a key cannot be a lone quote or be enclosed in quotes";
    }
    if (key.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        return "a key cannot begin with a byte-order mark";  // read as one when its line comes first
    }
    return nullptr;
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// The buffer getline() grows as needed.
struct LineBuffer {
    char* data = nullptr;
    std::size_t capacity = 0;
    ~LineBuffer() { std::free(data); }
};

// Opens a configuration file for reading. Only a regular file will do: a
// FIFO or a device would block the reader or never end.
std::FILE* OpenRegularFile(const std::string& path)
{
    errno = 0;
    int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (descriptor < 0) {
        throw IOError("Unable to open '" + path + "': " + std::strerror(errno));
    }
    struct stat info;
    std::FILE* file = nullptr;
    int error = ::fstat(descriptor, &info) != 0 ? errno : 0;
    if (!error && !S_ISREG(info.st_mode)) {
        error = S_ISDIR(info.st_mode) ? EISDIR : -1;
    }
    if (!error && (file = ::fdopen(descriptor, "r")) == nullptr) {
        error = errno;
    }
    if (error) {
        ::close(descriptor);
        throw IOError("Unable to open '" + path + "': " + (error < 0 ? "not a regular file" : std::strerror(error)));
    }
    return file;
}

// Holds an exclusive lock on the file a path names from before its current
// content is read until after it has been replaced, so that writers of one
// file take turns. The lock sits on the file itself, not on its name: a
// waiter that wakes up after a replacement retries on the new file. Readers
// take no lock; the replacement is atomic for them.
class ExclusiveFileLock {
public:
    explicit ExclusiveFileLock(const std::string& path)
    {
        while (true) {
            descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
            if (descriptor < 0) {
                if (errno == ENOENT) {
                    return;  // nothing to serialise with: the write creates the file
                }
                throw IOError("Unable to lock '" + path + "': " + std::strerror(errno));
            }
            int result;
            while ((result = ::flock(descriptor, LOCK_EX)) != 0 && errno == EINTR) {
            }
            struct stat locked, named;
            if (result != 0) {
                int error = errno;
                ::close(descriptor);
                throw IOError("Unable to lock '" + path + "': " + std::strerror(error));
            }
            if (::fstat(descriptor, &locked) == 0 && ::stat(path.c_str(), &named) == 0 &&
                locked.st_dev == named.st_dev && locked.st_ino == named.st_ino) {
                return;
            }
            ::close(descriptor);
        }
    }
    ~ExclusiveFileLock()
    {
        if (descriptor >= 0) {
            ::close(descriptor);
        }
    }
    ExclusiveFileLock(const ExclusiveFileLock&) = delete;
    ExclusiveFileLock& operator=(const ExclusiveFileLock&) = delete;

private:
    int descriptor = -1;
};

}  // namespace

std::pair<std::string, std::string> GetKeyValuePair(const std::string& line, int lineNumber)
{
    const std::size_t delimiter = line.find('=');
    if (delimiter == std::string::npos) {
        throw ConfigurationError("Error parsing configuration on line " + string_cast<int>(lineNumber) +
                                 ": no delimiter found");
    }
    // The value is examined first, so its error is the one reported when
    // both halves are malformed.
    std::string value = TrimAndUnquote(line.substr(delimiter + 1), lineNumber);
    std::string key = TrimAndUnquote(line.substr(0, delimiter), lineNumber);
    return std::make_pair(std::move(key), std::move(value));
}

Configuration::Configuration(const std::string& filePath) : path(filePath)
{
    std::unique_ptr<std::FILE, FileCloser> file(OpenRegularFile(path));
    LineBuffer buffer;
    int lineNumber = 0;
    ssize_t length;
    while ((length = ::getline(&buffer.data, &buffer.capacity, file.get())) >= 0) {
        std::string line(buffer.data, static_cast<std::size_t>(length));
        if (!line.empty() && line.back() == '\n') {
            line.pop_back();
        }
        ++lineNumber;
        // An editor's UTF-8 byte-order mark is not part of the first key.
        if (lineNumber == 1 && line.compare(0, 3, "\xEF\xBB\xBF") == 0) {
            line.erase(0, 3);
        }
        if (IsBlankLine(line)) {
            continue;
        }
        insert(GetKeyValuePair(line, lineNumber));  // keeps the first value of a repeated key
    }
    if (std::ferror(file.get())) {
        // Opened but unreadable, for example a directory.
        throw IOError("Unable to open '" + path + "': " + std::strerror(errno));
    }
    asRead = *this;
}

Configuration::~Configuration() = default;

const std::string& Configuration::operator[](const std::string& key) const
{
    const_iterator found = find(key);
    if (found == end()) {
        throw InvalidKeyException(key);
    }
    return found->second;
}

std::string& Configuration::operator[](const std::string& key)
{
    iterator found = find(key);
    if (found == end()) {
        throw InvalidKeyException(key);
    }
    return found->second;
}

void Configuration::Write() const
{
    for (const value_type& pair : *this) {
        if (const char* why = WhyUnwritable(pair.first, pair.second)) {
            throw ConfigurationError("Unable to write key '" + pair.first + "' to '" + path + "': " + why);
        }
    }
    // Another writer may have replaced the file since it was read: its
    // changes stay, and this object's own changes since the read go on top.
    ExclusiveFileLock lock(path);
    std::map<std::string, std::string> merged = *this;
    try {
        Configuration current(path);
        merged = current;
        for (const value_type& pair : asRead) {
            if (count(pair.first) == 0) {
                merged.erase(pair.first);
            }
        }
        for (const value_type& pair : *this) {
            const_iterator before = asRead.find(pair.first);
            if (before == asRead.end() || before->second != pair.second) {
                merged[pair.first] = pair.second;
            }
        }
    } catch (const Exception&) {
        // Gone or no longer readable: this object's content replaces it.
    }
    AtomicFileStream stream(path.c_str(), std::ios_base::out | std::ios_base::trunc);
    for (const value_type& pair : merged) {
        stream << pair.first << " = \"" << pair.second << "\"\n" << std::flush;
    }
    stream.Commit();
    asRead = *this;
}

}  // namespace authentication
}  // namespace orvane
