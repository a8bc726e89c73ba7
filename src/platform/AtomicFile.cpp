#include "AtomicFile.h"

#include "base/FileReplacement.h"

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

// Closes on every path.
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
    const orvauth_base::ReplacementFailure failure = orvauth_base::ReplaceFile(path, content, newFileMode);
    if (failure.error != 0) {
        Fail(failure.step, failure.path, failure.error);
    }
}

}  // namespace Detail
}  // namespace OrvPlatform
