#include "common/Files.h"

#include "BuildPaths.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace fs = std::filesystem;

namespace orvauth_test {

TempDir::TempDir()
{
    char pattern[] = "/tmp/orvauth-test.XXXXXX";
    path = mkdtemp(pattern) != nullptr ? pattern : throw std::runtime_error("mkdtemp failed");
}

TempDir::~TempDir() { RemoveTree(path); }

void WriteFile(const std::string& path, const std::string& content)
{
    if (!(std::ofstream(path, std::ios::binary | std::ios::trunc) << content)) {
        throw std::runtime_error("cannot write " + path);
    }
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + path);
    }
    return std::string(std::istreambuf_iterator<char>(in), {});
}

bool FileExists(const std::string& path)
{
    std::error_code ignored;
    return fs::exists(path, ignored);
}

unsigned FileMode(const std::string& path) { return static_cast<unsigned>(fs::status(path).permissions()); }

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
