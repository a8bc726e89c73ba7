// Puts the hosts file and resolv.conf back when a join fails after the
// host-name check has edited them: a host that did not join keeps the name
// resolution it had.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace orvane {
namespace authentication {

class HostFilesRollback {
public:
    // Records both files as they are now (the configured paths of the
    // platform layer); an inactive rollback records and restores nothing.
    explicit HostFilesRollback(bool active);

    // Runs the host-name check and records what it left, whether it
    // succeeded or not; its exception passes on.
    void RunCheck(const std::function<void()>& check);

    // Back to the recorded content, each file replaced atomically with its
    // mode kept (a file that did not exist is removed again). A file that no
    // longer holds what the check left was changed by someone else in the
    // meantime: it is left alone, with a warning in the log. Never throws.
    void Restore() noexcept;

private:
    struct FileState {
        bool known = false;    // read, or known to be absent
        bool present = false;
        std::string content;
    };
    struct RecordedFile {
        std::string path;
        FileState before;
        FileState edited;
    };

    void RecordEdited();
    static FileState Read(const std::string& path);
    static void RestoreFile(const RecordedFile& file);

    std::vector<RecordedFile> files;
};

}  // namespace authentication
}  // namespace orvane
