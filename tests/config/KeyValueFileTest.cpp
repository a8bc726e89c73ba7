// Key/value files: how lines split, what whole files give, the exact layout
// written and the pairs refused because they would not read back; the proxy
// thumbprint store. The fixed files are read and written by the tests of
// the stores that use them.
#include "common/Files.h"
#include "common/MessageOf.h"

#include <orvane/authentication/Configuration.h>
#include <orvane/authentication/Exceptions.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace orvane::authentication;
using namespace orvauth_test;
using Map = std::map<std::string, std::string>;

namespace {

TEST(KeyValueLine, SplitsAtTheFirstDelimiterAndUnquotesOnce)
{
    const std::pair<const char*, std::pair<std::string, std::string>> cases[] = {
        {"  key =  'value'  ", {"key", "value"}}, {"key=value", {"key", "value"}}, {"key =", {"key", ""}},
        {"key =   ", {"key", "   "}},           {"key = \"a'", {"key", "\"a'"}}, {"a = b = c", {"a", "b = c"}},
        {"k = x", {"k", "x"}},                   {"key = \"v\"\r", {"key", "\"v\"\r"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(GetKeyValuePair(c.first, 1), c.second) << c.first;
    // The value is examined before the key.
    for (const char* line : {"key = \"", "\" = '"})
        EXPECT_EQ(MessageOf<ConfigurationError>([&] { GetKeyValuePair(line, 7); }),
                  "Error parsing configuration at line 7: invalid quoting");
    EXPECT_EQ(MessageOf<ConfigurationError>([] { GetKeyValuePair("# comment", 7); }),
              "Error parsing configuration on line 7: no delimiter found");
}

class KeyValueFile : public ::testing::Test {
protected:
    TempDir dir;
    std::string path = dir.File("file.conf");
    Configuration Read(const std::string& content)
    {
        WriteFile(path, content);
        return Configuration(path);
    }
};

TEST_F(KeyValueFile, ReadsWholeFiles)
{
    EXPECT_EQ(MessageOf<ConfigurationError>([&] { Read("a = 1\n\n \t\nbroken\n"); }),
              "Error parsing configuration on line 4: no delimiter found");
    // A byte-order mark is no part of the first key; the first of repeated
    // keys wins; binary bytes pass; the last line needs no line feed.
    Configuration c = Read("\xEF\xBB\xBFk = first\nk = second\r\nbin = " + std::string("a\0b\xff", 4) + "\nlast = x");
    EXPECT_EQ(static_cast<const Map&>(c), (Map{{"bin", std::string("a\0b\xff", 4)}, {"k", "first"}, {"last", "x"}}));

    EXPECT_EQ(MessageOf<InvalidKeyException>([&] { c["missing"]; }),
              "The specified key 'missing' was not found in this configuration");
    const Configuration& readOnly = c;
    EXPECT_THROW(readOnly["missing"], InvalidKeyException);
    EXPECT_EQ(c.count("missing"), 0u);
}

TEST_F(KeyValueFile, OnlyRegularFilesAreRead)
{
    EXPECT_EQ(MessageOf<IOError>([&] { Configuration c(path); }),
              "Unable to open '" + path + "': " + std::strerror(ENOENT));
    EXPECT_FALSE(FileExists(path));
    EXPECT_THROW(Configuration c(dir.Path()), IOError);
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);  // would block a reader forever
    EXPECT_EQ(MessageOf<IOError>([&] { Configuration c(path); }), "Unable to open '" + path + "': not a regular file");
}

TEST_F(KeyValueFile, WritesSortedQuotedLinesThatReadBack)
{
    Configuration c = Read("b = 2\n# dropped when rewritten = x\n");
    c.erase("# dropped when rewritten");
    c.insert({"a", "say \"hi\" 'there' a=b"});
    c.insert({"'k\"", "  padded  "});
    c.Write();
    EXPECT_EQ(ReadFile(path), "'k\" = \"  padded  \"\na = \"say \"hi\" 'there' a=b\"\nb = \"2\"\n");
    EXPECT_EQ(static_cast<const Map&>(Configuration(path)), static_cast<const Map&>(c));
    c.clear();
    c.Write();
    EXPECT_EQ(ReadFile(path), "");
}

TEST_F(KeyValueFile, PairsThatWouldNotReadBackAreRefusedBeforeTheFileIsTouched)
{
    const Map refused = {{"a\nb", "v"}, {"k", "line\nfeed"}, {"a=b", "v"}, {"", "v"}, {"k\t", "v"}, {"'k'", "v"},
                         {"\xEF\xBB\xBF" "k", "v"}};
    WriteFile(path, "b = 2\n");
    for (const auto& pair : refused) {
        Configuration c(path);
        c.insert(pair);
        EXPECT_NE(MessageOf<ConfigurationError>([&] { c.Write(); }).find("'" + pair.first + "'"), std::string::npos)
            << pair.first;
    }
    EXPECT_EQ(ReadFile(path), "b = 2\n");
    EXPECT_EQ(ListDirectory(dir.Path()), std::vector<std::string>{"file.conf"});
}

// Two objects on one file: each keeps the other's changes to other keys,
// and the last writer wins a key both changed.
TEST_F(KeyValueFile, WritersKeepEachOthersChanges)
{
    Read("a = 1\nb = 2\nc = 3\n");
    Configuration first(path), second(path);
    first["a"] = "first";
    first.erase("c");
    second["a"] = "second";
    second.insert({"d", "4"});
    first.Write();
    second.Write();
    EXPECT_EQ(ReadFile(path), "a = \"second\"\nb = \"2\"\nd = \"4\"\n");
}

class ThumbprintStore : public ::testing::Test {
protected:
    TempDir dir;
    std::string path = dir.File("jorvservers.conf");
    ino_t Inode()
    {
        struct stat info = {};
        ::stat(path.c_str(), &info);
        return info.st_ino;
    }
};

TEST_F(ThumbprintStore, ImportsRewriteTheFileOnlyForANewThumbprint)
{
    WriteFile(path, "");
    EXPECT_EQ(JORVThumbprintStore(path).LookupThumbprint("192.0.2.9"), "");
    JORVThumbprintStore(path).ImportThumbprint("99", "192.0.2.9");
    JORVThumbprintStore(path).ImportThumbprint("AA:BB", "192.0.2.1");
    EXPECT_EQ(ReadFile(path), "192.0.2.1 = \"AA:BB\"\n192.0.2.9 = \"99\"\n");
    const ino_t before = Inode();
    JORVThumbprintStore(path).ImportThumbprint("AA:BB", "192.0.2.1");
    EXPECT_EQ(Inode(), before);
    JORVThumbprintStore(path).ImportThumbprint("aa:bb", "192.0.2.1");  // bytes differ
    EXPECT_EQ(ReadFile(path), "192.0.2.1 = \"aa:bb\"\n192.0.2.9 = \"99\"\n");
    WriteFile(path, "  host.example  = \"T\"\n");  // keys are trimmed, then compared exactly
    EXPECT_EQ(JORVThumbprintStore(path).LookupThumbprint("host.example"), "T");
    EXPECT_EQ(JORVThumbprintStore(path).LookupThumbprint("HOST.example"), "");
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
        if ((children.emplace_back(::fork())) == 0) {
            char go;
            ::close(start[1]);
            int ended = ::read(start[0], &go, 1) == 0;  // every child starts when the pipe closes
            try {
                JORVThumbprintStore(path).ImportThumbprint("T" + std::to_string(i), "192.0.2." + std::to_string(i));
            } catch (...) {
                ::_exit(1);
            }
            ::_exit(ended ? 0 : 2);
        }
    }
    ::close(start[0]);
    ::close(start[1]);
    for (pid_t child : children) {
        int status = -1;
        ::waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    JORVThumbprintStore store(path);
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(store.LookupThumbprint("192.0.2." + std::to_string(i)), "T" + std::to_string(i));
}

}  // namespace
