// The library's fixed files and the proxy thumbprint store.
#include "common/Files.h"

#include <orvane/authentication/Configuration.h>
#include <orvane/authentication/Exceptions.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace orvane::authentication;
using orvauth_test::ConfigFile;
using orvauth_test::ReadFile;
using orvauth_test::TempDir;
using orvauth_test::WriteFile;

namespace {

ino_t Inode(const std::string& path)
{
    struct stat info;
    ::stat(path.c_str(), &info);
    return info.st_ino;
}

TEST(LibraryFiles, ReadTheirFixedPathsAndCreateNothing)
{
    orvauth_test::ResetConfigDir();
    try {
        AuthenticationConfiguration c;
        FAIL();
    } catch (const IOError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Unable to open '" + ConfigFile("authentication.conf") + "': " + std::strerror(ENOENT));
    }
    EXPECT_FALSE(orvauth_test::FileExists(ConfigFile("authentication.conf")));

    WriteFile(ConfigFile("authentication.conf"), "remote-authentication-store = \"None\"\n");
    WriteFile(ConfigFile("provider.conf"), "provider = simdirectory\n");
    WriteFile(ConfigFile("jorvprovider.conf"), "provider = 'proxy'\n");
    EXPECT_EQ(AuthenticationConfiguration()["remote-authentication-store"], "None");
    EXPECT_EQ(ProviderConfiguration()["provider"], "simdirectory");
    EXPECT_EQ(JORVProviderConfiguration()["provider"], "proxy");

    AuthenticationConfiguration auth;
    auth["remote-authentication-store"] = "Active Directory";
    auth.Write();
    EXPECT_EQ(ReadFile(ConfigFile("authentication.conf")), "remote-authentication-store = \"Active Directory\"\n");
}

class ThumbprintStore : public ::testing::Test {
protected:
    TempDir dir;
    std::string path = dir.File("jorvservers.conf");
};

TEST_F(ThumbprintStore, EmptyStoreListsNothingAndFirstImportWritesOneLine)
{
    WriteFile(path, "");
    JORVThumbprintStore store(path);
    EXPECT_EQ(store.LookupThumbprint("192.0.2.1"), "");
    store.ImportThumbprint("AA:BB", "192.0.2.1");
    EXPECT_EQ(ReadFile(path), "192.0.2.1 = \"AA:BB\"\n");
}

TEST_F(ThumbprintStore, SameThumbprintIsNotRewritten)
{
    WriteFile(path, "192.0.2.1 = \"AA:BB\"\n");
    const ino_t before = Inode(path);
    JORVThumbprintStore(path).ImportThumbprint("AA:BB", "192.0.2.1");
    EXPECT_EQ(Inode(path), before);
    JORVThumbprintStore(path).ImportThumbprint("aa:bb", "192.0.2.1");  // bytes differ
    EXPECT_NE(Inode(path), before);
    EXPECT_EQ(JORVThumbprintStore(path).LookupThumbprint("192.0.2.1"), "aa:bb");
}

TEST_F(ThumbprintStore, ReplacingKeepsOtherServersInKeyOrder)
{
    WriteFile(path, "192.0.2.9 = \"99\"\n192.0.2.1 = \"11\"\n");
    JORVThumbprintStore(path).ImportThumbprint("new", "192.0.2.1");
    EXPECT_EQ(ReadFile(path), "192.0.2.1 = \"new\"\n192.0.2.9 = \"99\"\n");
}

TEST_F(ThumbprintStore, LookupComparesTrimmedKeysExactly)
{
    WriteFile(path, "  host.example  = \"T\"\n");
    JORVThumbprintStore store(path);
    EXPECT_EQ(store.LookupThumbprint("host.example"), "T");
    EXPECT_EQ(store.LookupThumbprint("HOST.example"), "");
    EXPECT_THROW(JORVThumbprintStore(dir.File("missing.conf")), IOError);
}

TEST_F(ThumbprintStore, ARefusedImportChangesNothing)
{
    WriteFile(path, "192.0.2.1 = \"AA\"\n");
    JORVThumbprintStore store(path);
    EXPECT_THROW(store.ImportThumbprint("B\nB", "192.0.2.1"), ConfigurationError);
    EXPECT_THROW(store.ImportThumbprint("C\nC", "192.0.2.2"), ConfigurationError);
    EXPECT_EQ(store.LookupThumbprint("192.0.2.1"), "AA");
    EXPECT_EQ(store.LookupThumbprint("192.0.2.2"), "");
    store.ImportThumbprint("DD", "192.0.2.3");
    EXPECT_EQ(ReadFile(path), "192.0.2.1 = \"AA\"\n192.0.2.3 = \"DD\"\n");
}

// Processes that import at the same moment take turns: none loses another's entry.
TEST_F(ThumbprintStore, ConcurrentImportsKeepEveryEntry)
{
    WriteFile(path, "");
    int start[2];
    ASSERT_EQ(::pipe(start), 0);
    std::vector<pid_t> children;
    for (int i = 0; i < 20; ++i) {
        pid_t child = ::fork();
        if (child == 0) {
            char go;
            ::close(start[1]);
            int ready = ::read(start[0], &go, 1);
            try {
                JORVThumbprintStore(path).ImportThumbprint("T" + std::to_string(i), "192.0.2." + std::to_string(i));
            } catch (...) {
                ::_exit(1);
            }
            ::_exit(ready == 0 ? 0 : 2);
        }
        children.push_back(child);
    }
    ::close(start[0]);
    ::close(start[1]);  // every child starts now
    for (pid_t child : children) {
        int status = -1;
        ::waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    JORVThumbprintStore store(path);
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(store.LookupThumbprint("192.0.2." + std::to_string(i)), "T" + std::to_string(i));
    }
}

}  // namespace
