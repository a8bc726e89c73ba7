#include "AtomicFile.h"

#include <platform/ZodCtl.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace OrvPlatform {
namespace Detail {

namespace {

[[noreturn]] void Fail(const std::string& doing, const std::string& path, int error)
{
    throw ZodCtl::Network::NetworkConfigException("Cannot " + doing + " '" + path + "': " + std::strerror(error));
}

// Closes on every path; a failed close after writing is reported by the
// caller's explicit Close.
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
    int Close()
    {
        int result = ::close(fd);
        fd = -1;
        return result;
    }

private:
    int fd;
};

// The file a path finally names, so that a link such as a resolver
// configuration managed elsewhere stays a link.
std::string ResolveLinks(const std::string& path)
{
    struct stat info;
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
        return path;
    }
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) == nullptr) {
        Fail("resolve the link", path, errno);
    }
    return resolved;
}

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
    std::string target = ResolveLinks(path);
    struct stat old;
    bool existed = ::stat(target.c_str(), &old) == 0;
    if (!existed && errno != ENOENT) {
        Fail("inspect", target, errno);
    }

    size_t slash = target.rfind('/');
    std::string directory = slash == std::string::npos ? "." : (slash == 0 ? "/" : target.substr(0, slash));
    std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    std::string pattern = directory + "/." + base + ".XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    FileDescriptor file(::mkstemp(name.data()));
    if (file.Get() < 0) {
        Fail("create a temporary file for", target, errno);
    }
    std::string temporary = name.data();

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
        if (::fchmod(file.Get(), existed ? (old.st_mode & 07777) : newFileMode) != 0) {
            Fail("set the mode of", temporary, errno);
        }
        // Only a privileged process can give the file away; otherwise the
        // replacement belongs to us, as any rewrite by this user would.
        if (existed && (old.st_uid != ::geteuid() || old.st_gid != ::getegid()) &&
            ::fchown(file.Get(), old.st_uid, old.st_gid) != 0 && errno != EPERM) {
            Fail("set the owner of", temporary, errno);
        }
        if (::fsync(file.Get()) != 0) {
            Fail("sync", temporary, errno);
        }
        if (file.Close() != 0) {
            Fail("close", temporary, errno);
        }
        if (::rename(temporary.c_str(), target.c_str()) != 0) {
            Fail("replace", target, errno);
        }
    } catch (...) {
        ::unlink(temporary.c_str());
        throw;
    }

    // Makes the rename itself durable; the new content is in place either way.
    FileDescriptor dir(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.Get() >= 0) {
        ::fsync(dir.Get());
    }
}

}  // namespace Detail
}  // namespace OrvPlatform
