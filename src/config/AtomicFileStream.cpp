#include <orvane/authentication/Configuration.h>
#include <orvane/authentication/Exceptions.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <libgen.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace orvane {
namespace authentication {

namespace {

// Forces a file's data to stable storage; returns 0 or an errno value.
int SyncFile(const std::string& path, int extraFlags)
{
    int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | extraFlags);
    if (descriptor < 0) {
        return errno;
    }
    int error = ::fsync(descriptor) == 0 ? 0 : errno;
    ::close(descriptor);
    return error;
}

std::string DirectoryOf(const std::string& path)
{
    std::vector<char> copy(path.begin(), path.end());
    copy.push_back('\0');
    return ::dirname(copy.data());
}

}  // namespace

AtomicFileStream::AtomicFileStream(const char* target, std::ios_base::openmode mode)
{
    open(target, mode);
}

AtomicFileStream::~AtomicFileStream() = default;

void AtomicFileStream::open(const char* target, std::ios_base::openmode mode)
{
    char pattern[4096];
    std::snprintf(pattern, sizeof pattern, "%s.XXXXXX", target);
    int descriptor = ::mkstemp(pattern);
    if (descriptor < 0) {
        throw IOError(std::string("Unable to create temporary file to write '") + target +
                      "': " + std::strerror(errno));
    }
    ::close(descriptor);
    temporaryPath = pattern;
    targetPath = target;

    errno = 0;
    std::basic_ofstream<char>::open(temporaryPath.c_str(), mode | std::ios_base::out);
    if (is_open()) {
        clear();
    } else {
        setstate(std::ios_base::failbit);
    }
}

void AtomicFileStream::Commit()
{
    // A stream that failed at any point is never published: the target keeps
    // its good content and the partial temporary file goes.
    int writeError = fail() ? (errno ? errno : EIO) : 0;
    if (is_open()) {
        errno = 0;
        flush();
        if (fail() && !writeError) {
            writeError = errno ? errno : EIO;
        }
        errno = 0;
        close();
        if (fail() && !writeError) {
            writeError = errno ? errno : EIO;
        }
        if (!writeError) {
            writeError = SyncFile(temporaryPath, 0);
        }
    }
    if (writeError) {
        ::unlink(temporaryPath.c_str());
        throw IOError("Unable to write '" + targetPath + "': " + std::strerror(writeError));
    }

    std::string permissionProblem;
    errno = 0;
    struct stat old;
    bool hadTarget = ::stat(targetPath.c_str(), &old) == 0;
    if (!hadTarget && errno != ENOENT) {
        permissionProblem = std::strerror(errno);
    }
    // The old mode goes onto the temporary file before the rename, so the
    // new content never shows under the target name with mode 0600.
    if (hadTarget && ::chmod(temporaryPath.c_str(), old.st_mode & 07777) != 0) {
        permissionProblem = std::strerror(errno);
    }

    if (::rename(temporaryPath.c_str(), targetPath.c_str()) != 0) {
        throw IOError("Unable to rename '" + temporaryPath + "' to '" + targetPath + "': " + std::strerror(errno));
    }
    // Make the rename itself durable. The new content is already visible,
    // so a failure here has nothing left to undo and is not reported.
    SyncFile(DirectoryOf(targetPath), O_DIRECTORY);

    if (!permissionProblem.empty()) {
        throw FilePermissionError("Failed to save file permissions, file permissions may be incorrect: " +
                                  permissionProblem);
    }
}

}  // namespace authentication
}  // namespace orvane
