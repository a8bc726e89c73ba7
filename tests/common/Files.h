// File helpers for tests: real files in real directories.
#pragma once

#include <string>
#include <vector>

namespace orvauth_test {

// A fresh directory under the system temporary directory, removed with
// everything in it when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path; }
    std::string File(const std::string& name) const { return path + "/" + name; }

private:
    std::string path;
};

void WriteFile(const std::string& path, const std::string& content);
std::string ReadFile(const std::string& path);
bool FileExists(const std::string& path);
unsigned FileMode(const std::string& path);          // permission bits
std::vector<std::string> ListDirectory(const std::string& path);  // names, sorted
void RemoveTree(const std::string& path);

// The build's configuration directory (ORVAUTH_CONFIG_DIR), emptied and
// recreated; returns its path. Tests that use the library's fixed files
// call this first.
std::string ResetConfigDir();
std::string ConfigFile(const std::string& name);

}  // namespace orvauth_test
