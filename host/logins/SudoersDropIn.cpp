#include "logins/SudoersDropIn.h"

#include "logins/LoginBackend.h"
#include "base/FileReplacement.h"

#include <cerrno>
#include <cstring>
#include <ostream>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace orvane::host {
namespace {

// Where Debian's sudo package puts it; the tool checks every drop-in with it.
const char* const VISUDO = "/usr/sbin/visudo";

}  // namespace

SudoersDropIn::SudoersDropIn(const std::string& sudoersDirectory)
    : directory(sudoersDirectory), path(sudoersDirectory + "/" + SUDOERS_DROP_IN)
{
}

Administrators SudoersDropIn::Load() const
{
    if (::access(path.c_str(), F_OK) != 0 && errno == ENOENT) {
        return Administrators{};
    }
    try {
        return ParseSudoersDropIn(ReadLoginFile(path));
    } catch (const std::exception& e) {
        throw std::runtime_error(path + ": " + e.what() + "; the tool leaves it alone: move it away to let " +
                                 "logins admins manage the directory's administrators");
    }
}

void SudoersDropIn::Check() const
{
    struct stat status;
    const bool found = ::stat(directory.c_str(), &status) == 0;
    if (!found || !S_ISDIR(status.st_mode)) {
        throw std::runtime_error(directory + " is not a directory (" +
                                 (found ? std::string("another kind of file")
                                  : errno == ENOENT ? std::string("missing") : std::strerror(errno)) +
                                 "): install sudo (apt-get install sudo), which creates it and reads it; nothing " +
                                 "was changed");
    }
    if (::access(VISUDO, X_OK) != 0) {
        throw std::runtime_error(std::string("sudo is not installed (no ") + VISUDO +
                                 " to check the rules with): install it (apt-get install sudo); nothing was changed");
    }
}

void SudoersDropIn::Save(const Administrators& administrators, std::ostream& report) const
{
    if (administrators.Empty()) {
        if (::unlink(path.c_str()) == 0) {
            report << path << " removed: no directory user or group is an administrator\n";
        } else if (errno != ENOENT) {
            throw std::runtime_error("cannot remove " + path + ": " + std::strerror(errno));
        }
        return;
    }
    Check();
    namespace Replacement = orvauth_base::FileReplacement;
    const std::string text = FormatSudoersDropIn(administrators);
    std::string temporary;
    int descriptor = -1;
    if (const int error = Replacement::CreateTemporary(directory + "/." + SUDOERS_DROP_IN + ".XXXXXX", temporary,
                                                       descriptor)) {
        throw std::runtime_error("cannot create a file in " + directory + ": " + std::strerror(error) +
                                 "; nothing was changed");
    }
    try {
        int error = orvauth_base::WriteAll(descriptor, text.data(), text.size());
        error = error != 0 ? error : ::fchmod(descriptor, 0440) != 0 || ::fsync(descriptor) != 0 ? errno : 0;
        if (error != 0) {
            throw std::runtime_error("cannot write " + temporary + ": " + std::strerror(error));
        }
        RunHostProgram(VISUDO, {"-cf", temporary});
        if (::rename(temporary.c_str(), path.c_str()) != 0) {
            throw std::runtime_error("cannot rename " + temporary + " to " + path + ": " + std::strerror(errno));
        }
    } catch (const std::exception& e) {
        Replacement::RemoveTemporary(temporary, descriptor);
        ::close(descriptor);
        throw std::runtime_error(std::string(e.what()) + "; nothing was changed");
    }
    ::close(descriptor);
    Replacement::SyncDirectory(directory);
    report << path << " written (checked with visudo)\n";
}

}  // namespace orvane::host
