#include "base/FileReplacement.h"

#include <cctype>
#include <dirent.h>
#include <sys/file.h>
#include <syslog.h>

namespace orvauth_base {

namespace FileReplacement {

namespace {

constexpr char RANDOM_PART[] = "XXXXXX";
constexpr std::size_t RANDOM_LENGTH = sizeof RANDOM_PART - 1;

bool SameFile(int descriptor, const std::string& name)
{
    struct stat held, named;
    return ::fstat(descriptor, &held) == 0 && ::lstat(name.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
           held.st_ino == named.st_ino;
}

// name is prefix followed by six characters mkstemp could have chosen.
bool MatchesPattern(const std::string& name, const std::string& prefix)
{
    if (name.size() != prefix.size() + RANDOM_LENGTH || name.compare(0, prefix.size(), prefix) != 0) {
        return false;
    }
    for (std::size_t i = prefix.size(); i < name.size(); ++i) {
        if (!std::isalnum(static_cast<unsigned char>(name[i]))) {
            return false;
        }
    }
    return true;
}

}  // namespace

int RemoveStaleTemporaries(const std::string& pattern)
{
    const std::string directory = DirectoryOf(pattern);
    const std::size_t slash = pattern.rfind('/');
    const std::string base = slash == std::string::npos ? pattern : pattern.substr(slash + 1);
    if (base.size() <= RANDOM_LENGTH || base.compare(base.size() - RANDOM_LENGTH, RANDOM_LENGTH, RANDOM_PART) != 0) {
        return 0;
    }
    const std::string prefix = base.substr(0, base.size() - RANDOM_LENGTH);
    DIR* entries = ::opendir(directory.c_str());
    if (entries == nullptr) {
        return 0;
    }
    int removed = 0;
    while (const dirent* entry = ::readdir(entries)) {
        if (!MatchesPattern(entry->d_name, prefix)) {
            continue;
        }
        const std::string name = directory + "/" + entry->d_name;
        const int descriptor = ::open(name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (descriptor < 0) {
            continue;
        }
        struct stat info;
        // A writer at work holds its file's lock; only an abandoned file is free.
        if (::fstat(descriptor, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::geteuid() &&
            ::flock(descriptor, LOCK_EX | LOCK_NB) == 0 && SameFile(descriptor, name) && ::unlink(name.c_str()) == 0) {
            syslog(LOG_INFO, "Removed %s, left behind by a write that was interrupted", name.c_str());
            ++removed;
        }
        ::close(descriptor);
    }
    ::closedir(entries);
    return removed;
}

int CreateTemporary(const std::string& pattern, std::string& name, int& descriptor)
{
    RemoveStaleTemporaries(pattern);
    for (int attempt = 0;; ++attempt) {
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        descriptor = ::mkstemp(buffer.data());
        if (descriptor < 0) {
            return errno;
        }
        name = buffer.data();
        // Another writer's clean-up may have taken the file between mkstemp
        // and the lock: only a file still at its name is ours.
        if (::flock(descriptor, LOCK_EX) == 0 && SameFile(descriptor, name)) {
            return 0;
        }
        const int error = errno != 0 ? errno : EAGAIN;
        ::close(descriptor);
        descriptor = -1;
        if (attempt == 2) {
            return error;
        }
    }
}

}  // namespace FileReplacement

int ReadWholeFile(const std::string& path, std::string& content)
{
    content.clear();
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) {
        return errno;
    }
    char buffer[8192];
    ssize_t count;
    while ((count = ::read(descriptor, buffer, sizeof buffer)) > 0 || (count < 0 && errno == EINTR)) {
        content.append(buffer, count > 0 ? static_cast<std::size_t>(count) : 0);
    }
    const int error = count < 0 ? errno : 0;
    ::close(descriptor);
    return error;
}

int WriteAll(int descriptor, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(descriptor, data, size);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written < 0) {
            return errno;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return 0;
}

ReplacementFailure ReplaceFile(const std::string& path, const std::string& text, mode_t newFileMode,
                               ExistingMode existingMode)
{
    using namespace FileReplacement;
    ReplacementFailure failure;
    failure.path = path;
    const auto failed = [&failure](const char* step, int error) {
        failure.step = step;
        failure.error = error;
        return failure;
    };
    std::string target;
    if (const int error = ResolveLinks(path, target)) {
        return failed("resolve the link", error);
    }
    failure.path = target;
    struct stat old;
    const bool existed = ::stat(target.c_str(), &old) == 0;
    if (!existed && errno != ENOENT) {
        return failed("inspect", errno);
    }
    const std::string directory = DirectoryOf(target);
    const std::size_t slash = target.rfind('/');
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    std::string temporary;
    int descriptor = -1;
    if (const int error = CreateTemporary(directory + "/." + name + ".XXXXXX", temporary, descriptor)) {
        return failed("create a temporary file for", error);
    }
    failure.path = temporary;
    int error = WriteAll(descriptor, text.data(), text.size());
    if (error != 0) {
        failed("write", error);
    } else if (existed && (error = CarryOwnership(descriptor, old)) != 0 && error != EPERM) {
        // Without privileges the replacement belongs to us, as any rewrite
        // by this user would.
        failed("set the mode and owner of", error);
    } else if ((!existed || existingMode == ExistingMode::Reset) && ::fchmod(descriptor, newFileMode) != 0) {
        failed("set the mode of", errno);
    } else if (::fsync(descriptor) != 0) {
        failed("sync", errno);
    } else if (::rename(temporary.c_str(), target.c_str()) != 0) {
        failure.path = target;
        failed("replace", errno);
    }
    if (failure.error != 0) {
        RemoveTemporary(temporary, descriptor);
    }
    ::close(descriptor);
    if (failure.error == 0) {
        SyncDirectory(directory);
    }
    return failure;
}

}  // namespace orvauth_base
