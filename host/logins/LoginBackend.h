// Turning directory logins on and off in the host's PAM files, one backend
// per way a distribution manages them: Debian's pam-auth-update profiles,
// or, where no such tool manages the files, the library's PAM model. A
// further tool (authselect, ...) is one more backend.
//
// Whatever the backend, enable writes down what it added (LoginRecord) and
// disable takes away only that: a file nobody changed since enable gets
// its old bytes back, and a module or profile that was there before enable
// stays.
#pragma once

#include "logins/LoginRules.h"

#include <functional>
#include <iosfwd>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace orvane::host {

struct FileRecord {
    std::string before;  // the bytes before enable
    std::string after;   // the bytes enable left
    std::vector<std::string> added;  // what enable added: name-service databases or PAM facilities
};

struct LoginRecord {
    std::string backend;
    std::vector<std::string> profiles;  // pam-auth-update profiles enable turned on
    std::map<std::string, FileRecord> files;
    bool Empty() const { return profiles.empty() && files.empty(); }
};

// The record in the tool's state directory; an empty record when there is
// none. Save replaces it atomically (mode 0600), Remove deletes it.
LoginRecord LoadLoginRecord(const std::string& path);
void SaveLoginRecord(const std::string& path, const LoginRecord& record);
void RemoveLoginRecord(const std::string& path);

class LoginBackend {
public:
    virtual ~LoginBackend() = default;
    virtual std::string Name() const = 0;
    virtual std::vector<std::string> Files() const = 0;
    // Per file: "on", "off", "partly on" or "unknown: <why>".
    virtual std::vector<std::pair<std::string, std::string>> State(const LoginModules& modules) const = 0;
    // Checks everything before changing anything (LoginEditRefused, nothing
    // changed); then records what it is about to add in record and calls
    // save before touching a file, so that a kill half-way leaves a record
    // that covers every change made.
    virtual void Enable(const LoginModules& modules, LoginRecord& record, const std::function<void()>& save,
                        std::ostream& out) = 0;
    virtual void Disable(const LoginModules& modules, const LoginRecord& record, std::ostream& out) = 0;
};

// pam-auth-update when it manages the files in pamDir (the system's
// /etc/pam.d with its markers), the PAM model otherwise.
std::unique_ptr<LoginBackend> ChooseLoginBackend(const std::string& pamDir, const std::vector<std::string>& files);

// Runs a host program (an absolute path) with the arguments, no shell, a
// fixed environment and standard input from /dev/null; its output goes
// into the std::runtime_error thrown when it fails or outlives 120 s.
void RunHostProgram(const std::string& program, const std::vector<std::string>& arguments);

// The file's bytes; LoginEditRefused when it cannot be read or is no
// regular file.
std::string ReadLoginFile(const std::string& path);
// Atomic replacement that keeps the file's mode (through a link, to the
// file it names).
void ReplaceLoginFile(const std::string& path, const std::string& text);

// The give-back rule for one file: its old bytes when it is as enable left
// it, else remove(current) (the removal of what enable added only). Writes
// nothing when nothing changes; says on out what it did.
void GiveBack(const std::string& path, const FileRecord& record,
              const std::function<std::string(const std::string&)>& remove, std::ostream& out);

}  // namespace orvane::host
