#include "common/Files.h"

#include "BuildPaths.h"

#include <algorithm>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <ftw.h>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace orvauth_test {

TempDir::TempDir()
{
    const char* base = "/tmp";
    std::string pattern = std::string(base) + "/orvauth-test.XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    path = buffer.data();
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
    if (DIR* dir = opendir(path.c_str())) {
        while (dirent* entry = readdir(dir)) {
            std::string name = entry->d_name;
            if (name != "." && name != "..") {
                names.push_back(name);
            }
        }
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

void RemoveTree(const std::string& path)
{
    nftw(
        path.c_str(),
        [](const char* file, const struct stat*, int, struct FTW*) { return ::remove(file); }, 16,
        FTW_DEPTH | FTW_PHYS);
}

static void MakeDirectories(const std::string& path)
{
    for (std::size_t slash = path.find('/', 1); ; slash = path.find('/', slash + 1)) {
        ::mkdir(path.substr(0, slash).c_str(), 0755);
        if (slash == std::string::npos) {
            break;
        }
    }
}

std::string ResetConfigDir()
{
    RemoveTree(ORVAUTH_CONFIG_DIR);
    MakeDirectories(ORVAUTH_CONFIG_DIR);
    return ORVAUTH_CONFIG_DIR;
}

std::string ConfigFile(const std::string& name) { return std::string(ORVAUTH_CONFIG_DIR) + "/" + name; }

}  // namespace orvauth_test
