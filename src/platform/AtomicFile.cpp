#include "AtomicFile.h"

#include "base/FileReplacement.h"

#include <platform/ZodCtl.h>

#include <cerrno>
#include <cstring>

namespace OrvPlatform {
namespace Detail {

namespace {

[[noreturn]] void Fail(const std::string& doing, const std::string& path, int error)
{
    throw ZodCtl::Network::NetworkConfigException("Cannot " + doing + " '" + path + "': " + std::strerror(error));
}

}  // namespace

bool ReadTextFile(const std::string& path, std::string& content)
{
    const int error = orvauth_base::ReadWholeFile(path, content);
    if (error == ENOENT) {
        return false;
    }
    if (error != 0) {
        Fail("read", path, error);
    }
    return true;
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
