// The reference plug-ins read their state from the build's plug-in
// directory. Each test writes the files it needs afresh and removes them
// afterwards, so no test sees another's domain.
#pragma once

#include "BuildPaths.h"
#include "common/Files.h"

#include <orvane/authentication/Exceptions.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <unistd.h>

namespace orvauth_test {

inline std::string PluginFile(const std::string& name) { return std::string(ORVAUTH_PLUGIN_DIR) + "/" + name; }
inline std::string DirectoryStatePath() { return PluginFile("simdirectory.state"); }
inline std::string ProxyStatePath() { return PluginFile("simproxy.state"); }

// Removes the named plug-in files when the test starts and when it ends.
class PluginFiles {
public:
    explicit PluginFiles(std::initializer_list<std::string> names) : names(names) { RemoveAll(); }
    ~PluginFiles() { RemoveAll(); }

private:
    void RemoveAll()
    {
        for (const std::string& name : names) {
            std::remove(PluginFile(name).c_str());
        }
    }
    std::vector<std::string> names;
};

// The machine account name the directory plug-in derives from the local
// host name.
inline std::string LocalAccountName()
{
    char name[256] = {};
    ::gethostname(name, sizeof name - 1);
    std::string account(name, std::strcspn(name, "."));
    for (char& c : account) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return account;
}

// simdirectory replaces its state file through a temporary next to it.
inline void ExpectNoTemporaryStateFile()
{
    using namespace ::testing;
    EXPECT_THAT(ListDirectory(ORVAUTH_PLUGIN_DIR), Not(Contains(StartsWith("simdirectory.state."))));
}

// The status code that call fails with; 0 when it does not throw.
inline unsigned long StatusOf(const std::function<void()>& call)
{
    try {
        call();
    } catch (const orvane::authentication::Exception& error) {
        return error.Code();
    }
    return 0;
}

}  // namespace orvauth_test
