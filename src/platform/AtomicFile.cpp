#include "AtomicFile.h"
#include "FileReplacement.h"

#include <platform/ZodCtl.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace OrvPlatform {
namespace Detail {

namespace {

[[noreturn]] void Fail(const std::string& doing, const std::string& path, int error)
{
    throw ZodCtl::Network::NetworkConfigException("Cannot " + doing + " '" + path + "': " + std::strerror(error));
}

// Closes on every path. The data is synced before the rename, so a close
// that fails afterwards has lost nothing.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd(fd) {}
    ~FileDescriptor()
    {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int Get() const { return fd; }

private:
    int fd;
};

}  // namespace

bool ReadTextFile(const std::string& path, std::string& content)
{
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.Get() < 0) {
        if (errno == ENOENT) {
            return false;
        }
        Fail("open", path, errno);
    }
    content.clear();
    char buffer[8192];
    while (true) {
        ssize_t count = ::read(file.Get(), buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            Fail("read", path, errno);
        }
        if (count == 0) {
            return true;
        }
        content.append(buffer, static_cast<size_t>(count));
    }
}

void ReplaceFile(const std::string& path, const std::string& content, mode_t newFileMode)
{
    namespace Replacement = FileReplacement;
    std::string target;
    if (int error = Replacement::ResolveLinks(path, target)) {
        Fail("resolve the link", path, error);
    }
    struct stat old;
    bool existed = ::stat(target.c_str(), &old) == 0;
    if (!existed && errno != ENOENT) {
        Fail("inspect", target, errno);
    }

    std::string directory = Replacement::DirectoryOf(target);
    size_t slash = target.rfind('/');
    std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    std::string temporary;
    int descriptor = -1;
    if (int error = Replacement::CreateTemporary(directory + "/." + base + ".XXXXXX", temporary, descriptor)) {
        Fail("create a temporary file for", target, error);
    }
    FileDescriptor file(descriptor);

    try {
        size_t written = 0;
        while (written < content.size()) {
            ssize_t count = ::write(file.Get(), content.data() + written, content.size() - written);
            if (count < 0 && errno == EINTR) {
                continue;
            }
            if (count < 0) {
                Fail("write", temporary, errno);
            }
            written += static_cast<size_t>(count);
        }
        if (!existed && ::fchmod(file.Get(), newFileMode) != 0) {
            Fail("set the mode of", temporary, errno);
        }
        // Without privileges the replacement belongs to us, as any rewrite
        // by this user would.
        int error = existed ? Replacement::CarryOwnership(file.Get(), old) : 0;
        if (error != 0 && error != EPERM) {
            Fail("set the mode and owner of", temporary, error);
        }
        if (::fsync(file.Get()) != 0) {
            Fail("sync", temporary, errno);
        }
        if (::rename(temporary.c_str(), target.c_str()) != 0) {
            Fail("replace", target, errno);
        }
    } catch (...) {
        Replacement::RemoveTemporary(temporary, file.Get());
        throw;
    }
    Replacement::SyncDirectory(directory);
}

}  // namespace Detail
}  // namespace OrvPlatform
