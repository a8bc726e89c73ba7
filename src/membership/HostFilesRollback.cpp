#include "membership/HostFilesRollback.h"

#include "errors/LogText.h"
#include "base/FileReplacement.h"

#include <orvane/authentication/Configuration.h>

#include <platform/PlatformSettings.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <stdexcept>
#include <syslog.h>

namespace orvane {
namespace authentication {

HostFilesRollback::HostFilesRollback(bool active)
{
    if (!active) {
        return;
    }
    for (const std::string& path :
         {OrvPlatform::Settings::GetHostsFilePath(), OrvPlatform::Settings::GetResolvConfPath()}) {
        RecordedFile file;
        file.path = path;
        file.before = Read(path);
        files.push_back(file);
    }
}

void HostFilesRollback::RunCheck(const std::function<void()>& check)
{
    try {
        check();
    } catch (...) {
        RecordEdited();
        throw;
    }
    RecordEdited();
}

void HostFilesRollback::RecordEdited()
{
    for (RecordedFile& file : files) {
        file.edited = Read(file.path);
    }
}

HostFilesRollback::FileState HostFilesRollback::Read(const std::string& path)
{
    FileState state;
    const int error = orvauth_base::ReadWholeFile(path, state.content);
    // Only a file known to be absent can be restored by removing it.
    state.known = error == 0 || error == ENOENT;
    state.present = error != ENOENT;
    return state;
}

void HostFilesRollback::RestoreFile(const RecordedFile& file)
{
    const FileState now = Read(file.path);
    auto same = [](const FileState& left, const FileState& right) {
        return left.known && right.known && left.present == right.present && left.content == right.content;
    };
    if (!file.before.known || same(now, file.before)) {
        return;
    }
    if (!same(now, file.edited)) {
        syslog(LOG_WARNING, "Not restoring %s after the failed join: it was changed by something else meanwhile",
               LogText(file.path).c_str());
        return;
    }
    if (!file.before.present) {
        if (std::remove(file.path.c_str()) != 0) {
            throw std::runtime_error(std::strerror(errno));
        }
        return;
    }
    AtomicFileStream stream(file.path.c_str(), std::ios::out | std::ios::binary);
    stream << file.before.content;
    stream.Commit();
}

void HostFilesRollback::Restore() noexcept
{
    for (const RecordedFile& file : files) {
        try {
            RestoreFile(file);
        } catch (const std::exception& error) {
            syslog(LOG_WARNING, "Unable to restore %s after the failed join: %s", LogText(file.path).c_str(),
                   LogText(error.what()).c_str());
        } catch (...) {
            syslog(LOG_WARNING, "Unable to restore %s after the failed join", LogText(file.path).c_str());
        }
    }
}

}  // namespace authentication
}  // namespace orvane
