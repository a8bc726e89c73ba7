#include "base/FileReplacement.h"

#include <orvane/authentication/Configuration.h>
#include <orvane/authentication/Exceptions.h>

#include <cerrno>
#include <cstring>
#include <ext/stdio_filebuf.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orvane {
namespace authentication {

namespace Replacement = orvauth_base::FileReplacement;

AtomicFileStream::AtomicFileStream(const char* target, std::ios_base::openmode mode)
{
    open(target, mode);
}

AtomicFileStream::~AtomicFileStream() { Discard(); }

void AtomicFileStream::Discard()
{
    if (descriptor >= 0) {
        Replacement::RemoveTemporary(temporaryPath, descriptor);
        ::close(descriptor);
        descriptor = -1;
    }
}

void AtomicFileStream::open(const char* target, std::ios_base::openmode mode)
{
    if (is_open()) {
        close();
    }
    Discard();
    std::string replaced;
    int error = Replacement::ResolveLinks(target, replaced);
    std::string created;
    if (error == 0) {
        error = Replacement::CreateTemporary(replaced + ".XXXXXX", created, descriptor);
    }
    if (error != 0) {
        throw IOError(std::string("Unable to create temporary file to write '") + target +
                      "': " + std::strerror(error));
    }
    temporaryPath = created;
    targetPath = replaced;

    // The stream writes through its own descriptor of the file mkstemp made,
    // never through a name someone could swap meanwhile; the kept one
    // carries mode, owner and sync until the rename.
    int streamDescriptor = ::fcntl(descriptor, F_DUPFD_CLOEXEC, 0);
    if (streamDescriptor >= 0) {
        __gnu_cxx::stdio_filebuf<char> file(streamDescriptor, mode | std::ios_base::out);
        if (file.is_open()) {
            *rdbuf() = std::move(file);
        } else {
            ::close(streamDescriptor);
        }
    }
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
    }
    if (!writeError && descriptor >= 0 && ::fsync(descriptor) != 0) {
        writeError = errno;
    }
    if (writeError) {
        Discard();
        throw IOError("Unable to write '" + targetPath + "': " + std::strerror(writeError));
    }

    // The old mode, owner and group go onto the temporary file before the
    // rename, so the new content never shows under the target name with
    // mode 0600 or the wrong owner.
    std::string permissionProblem;
    errno = 0;
    struct stat old;
    bool hadTarget = ::stat(targetPath.c_str(), &old) == 0;
    if (!hadTarget && errno != ENOENT) {
        permissionProblem = std::strerror(errno);
    }
    if (hadTarget && descriptor >= 0) {
        if (int error = Replacement::CarryOwnership(descriptor, old)) {
            permissionProblem = std::strerror(error);
        }
    }

    if (::rename(temporaryPath.c_str(), targetPath.c_str()) != 0) {
        int error = errno;
        Discard();
        throw IOError("Unable to rename '" + temporaryPath + "' to '" + targetPath + "': " + std::strerror(error));
    }
    ::close(descriptor);
    descriptor = -1;
    Replacement::SyncDirectory(Replacement::DirectoryOf(targetPath));

    if (!permissionProblem.empty()) {
        throw FilePermissionError("Failed to save file permissions, file permissions may be incorrect: " +
                                  permissionProblem);
    }
}

}  // namespace authentication
}  // namespace orvane
