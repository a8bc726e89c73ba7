#include "base/FileReplacement.h"

namespace orvauth_base {

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
