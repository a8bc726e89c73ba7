// The reference plug-ins read their state from the build's plug-in
// directory. Each test writes the files it needs afresh and removes them
// afterwards, so no test sees another's domain.
#pragma once

#include "BuildPaths.h"
#include "common/Files.h"

#include <orvane/authentication/Exceptions.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <unistd.h>

namespace orvauth_test {

inline std::string PluginFile(const std::string& name) { return std::string(ORVAUTH_PLUGIN_DIR) + "/" + name; }
inline std::string DirectoryStatePath() { return PluginFile("simdirectory.state"); }
inline std::string ProxyStatePath() { return PluginFile("simproxy.state"); }

// Removes the named plug-in files when the test ends.
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

// The local host name as the directory plug-in sees it, and the machine
// account name derived from it.
inline std::string LocalHostName()
{
    char name[256] = {};
    ::gethostname(name, sizeof name - 1);
    return name;
}

inline std::string LocalAccountName()
{
    std::string account = LocalHostName();
    account = account.substr(0, account.find('.'));
    for (char& c : account) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return account;
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
