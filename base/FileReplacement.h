// Replacing a file atomically, shared by the platform layer's text files,
// the library's configuration files and the plug-ins' files. Each side
// reports failures in its own way, so this code returns an errno value (0
// on success) and throws nothing.
#pragma once

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace orvauth_base {
namespace FileReplacement {

// The file a path finally names, so that a link (a resolver configuration
// managed elsewhere, a configuration file kept on another volume) stays a
// link and its target is what gets replaced.
inline int ResolveLinks(const std::string& path, std::string& target)
{
    struct stat info;
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
        target = path;
        return 0;
    }
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) == nullptr) {
        return errno;
    }
    target = resolved;
    return 0;
}

inline std::string DirectoryOf(const std::string& path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
}

// Creates a new file from a mkstemp pattern; on success `name` holds its
// path and `descriptor` an open read-write descriptor. The file is locked
// (flock) for as long as a descriptor of it is open, which tells a writer
// at work from one killed before it could rename or remove its file. First
// removes the pattern's leftovers: files of this pattern in its directory,
// regular, owned by this user and locked by nobody.
int CreateTemporary(const std::string& pattern, std::string& name, int& descriptor);

// Removes the leftovers of a mkstemp pattern as CreateTemporary does;
// returns how many it removed.
int RemoveStaleTemporaries(const std::string& pattern);

// Gives the new file the old one's mode, owner and group. Only a privileged
// process can give a file away, so owner and group are only set when they
// differ from our own; the caller decides whether EPERM there matters.
inline int CarryOwnership(int descriptor, const struct stat& old)
{
    if (::fchmod(descriptor, old.st_mode & 07777) != 0) {
        return errno;
    }
    if ((old.st_uid != ::geteuid() || old.st_gid != ::getegid()) &&
        ::fchown(descriptor, old.st_uid, old.st_gid) != 0) {
        return errno;
    }
    return 0;
}

// Removes the temporary file, but only while its name still leads to the
// file behind `descriptor`: a name taken over by someone else stays.
inline void RemoveTemporary(const std::string& name, int descriptor)
{
    struct stat ours, named;
    if (descriptor >= 0 && ::fstat(descriptor, &ours) == 0 && ::lstat(name.c_str(), &named) == 0 &&
        ours.st_dev == named.st_dev && ours.st_ino == named.st_ino) {
        ::unlink(name.c_str());
    }
}

// Makes a rename in the directory durable. The new content is visible
// whether or not this succeeds, so there is nothing to report.
inline void SyncDirectory(const std::string& directory)
{
    int descriptor = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor >= 0) {
        ::fsync(descriptor);
        ::close(descriptor);
    }
}

}  // namespace FileReplacement

// Reads the whole file at path into content. Returns 0 or the errno of the
// failed open or read (ENOENT for a missing file).
int ReadWholeFile(const std::string& path, std::string& content);

// Writes all of size bytes to descriptor, resuming after interrupted or
// short writes. Returns 0 or the errno of the failed write.
int WriteAll(int descriptor, const char* data, std::size_t size);

// Where and why a replacement failed: error 0 means it succeeded.
struct ReplacementFailure {
    int error = 0;
    const char* step = "";  // "write", "sync", "replace", ...
    std::string path;       // the file the step worked on
};

// What an existing file's mode becomes: its own, or always newFileMode (for
// a file its reader insists be private).
enum class ExistingMode { Keep, Reset };

// Replaces the file at path (the target, when path is a symbolic link) with
// text so that readers see the old or the new content, never a part: a
// temporary file beside it gets the text, the old file's mode and (where
// permitted) owner and group, or newFileMode for a new file, is synced and
// renamed over it, and the rename is synced in the directory. On failure
// the old file is untouched and the temporary file gone.
ReplacementFailure ReplaceFile(const std::string& path, const std::string& text, mode_t newFileMode,
                               ExistingMode existingMode = ExistingMode::Keep);

}  // namespace orvauth_base
