#include "common/Files.h"

#include "BuildPaths.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace orvauth_test {

TempDir::TempDir()
{
    char pattern[] = "/tmp/orvauth-test.XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    path = pattern;
}

TempDir::~TempDir() { RemoveTree(path); }

void WriteFile(const std::string& path, const std::string& content)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    if (!out) {
        throw std::runtime_error("cannot write " + path);
    }
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + path);
    }
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

bool FileExists(const std::string& path)
{
    struct stat info;
    return ::stat(path.c_str(), &info) == 0;
}

unsigned FileMode(const std::string& path)
{
    struct stat info;
    if (::stat(path.c_str(), &info) != 0) {
        throw std::runtime_error("cannot stat " + path);
    }
    return info.st_mode & 07777;
}

std::vector<std::string> ListDirectory(const std::string& path)
{
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator entry(path, error), end; !error && entry != end; entry.increment(error)) {
        names.push_back(entry->path().filename());
    }
    std::sort(names.begin(), names.end());
    return names;
}

void RemoveTree(const std::string& path)
{
    std::error_code ignored;
    fs::remove_all(path, ignored);
}

std::string ResetConfigDir()
{
    RemoveTree(ORVAUTH_CONFIG_DIR);
    fs::create_directories(ORVAUTH_CONFIG_DIR);
    return ORVAUTH_CONFIG_DIR;
}

std::string ConfigFile(const std::string& name) { return std::string(ORVAUTH_CONFIG_DIR) + "/" + name; }

}  // namespace orvauth_test
