// Reading key/value files: how single lines split, and what whole files give.
#include "common/Files.h"

#include <orvane/authentication/Configuration.h>
#include <orvane/authentication/Exceptions.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

using namespace orvane::authentication;
using orvauth_test::TempDir;
using orvauth_test::WriteFile;

namespace {

struct LineCase {
    const char* line;
    const char* key;
    const char* value;
};

class SingleLine : public ::testing::TestWithParam<LineCase> {};

TEST_P(SingleLine, SplitsIntoKeyAndValue)
{
    std::pair<std::string, std::string> pair = GetKeyValuePair(GetParam().line, 1);
    EXPECT_EQ(pair.first, GetParam().key);
    EXPECT_EQ(pair.second, GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(Lines, SingleLine,
                         ::testing::Values(LineCase{"key = \"value\"", "key", "value"},
                                           LineCase{"key=value", "key", "value"},
                                           LineCase{"  key =  'value'  ", "key", "value"},
                                           LineCase{"key = \"\"", "key", ""},
                                           LineCase{"key =", "key", ""},
                                           LineCase{"key =   ", "key", "   "},
                                           LineCase{"key = \"a'", "key", "\"a'"},
                                           LineCase{"a = b = c", "a", "b = c"},
                                           LineCase{"key = x", "key", "x"},
                                           LineCase{"\t'k' = \" spaced \"", "k", " spaced "},
                                           LineCase{"# comment = yes", "# comment", "yes"},
                                           LineCase{"key = \"v\"\r", "key", "\"v\"\r"}));

struct BadLineCase {
    const char* line;
    const char* message;
};

class MalformedLine : public ::testing::TestWithParam<BadLineCase> {};

TEST_P(MalformedLine, NamesItsLineNumber)
{
    try {
        GetKeyValuePair(GetParam().line, 7);
        FAIL() << "accepted " << GetParam().line;
    } catch (const ConfigurationError& e) {
        EXPECT_STREQ(e.what(), GetParam().message);
        EXPECT_EQ(e.Code(), 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lines, MalformedLine,
    ::testing::Values(BadLineCase{"key = \"", "Error parsing configuration at line 7: invalid quoting"},
                      BadLineCase{"' = x", "Error parsing configuration at line 7: invalid quoting"},
                      // The value is examined before the key.
                      BadLineCase{"\" = '", "Error parsing configuration at line 7: invalid quoting"},
                      BadLineCase{"# comment", "Error parsing configuration on line 7: no delimiter found"},
                      BadLineCase{"\r", "Error parsing configuration on line 7: no delimiter found"}));

class KeyValueFile : public ::testing::Test {
protected:
    Configuration Read(const std::string& content)
    {
        WriteFile(dir.File("file.conf"), content);
        return Configuration(dir.File("file.conf"));
    }
    TempDir dir;
};

TEST_F(KeyValueFile, SkipsBlankLinesButCountsThem)
{
    try {
        Read("a = 1\n\n \t\nbroken\n");
        FAIL();
    } catch (const ConfigurationError& e) {
        EXPECT_STREQ(e.what(), "Error parsing configuration on line 4: no delimiter found");
    }
}

TEST_F(KeyValueFile, FirstOfRepeatedKeysWins)
{
    Configuration c = Read("k = first\nk = second\n");
    EXPECT_EQ(c.size(), 1u);
    EXPECT_EQ(c["k"], "first");
}

TEST_F(KeyValueFile, WindowsLineEndsKeepTheirCarriageReturn)
{
    Configuration c = Read("k = v\r\nq = \"w\"\r\n");
    EXPECT_EQ(c["k"], "v\r");
    EXPECT_EQ(c["q"], "\"w\"\r");
}

TEST_F(KeyValueFile, LastLineNeedsNoLineFeedAndBinaryBytesPassThrough)
{
    Configuration c = Read(std::string("bin = a\0b\xff", 10) + "\nlast = x");
    EXPECT_EQ(c["bin"], std::string("a\0b\xff", 4));
    EXPECT_EQ(c["last"], "x");
}

TEST_F(KeyValueFile, HugeLinesAreReadWhole)
{
    std::string value(1 << 20, 'v');
    Configuration c = Read("huge = " + value + "\n");
    EXPECT_EQ(c["huge"], value);
}

TEST_F(KeyValueFile, LookupOfMissingKeyThrowsAndAddsNothing)
{
    Configuration c = Read("a = 1\n");
    try {
        c["missing"];
        FAIL();
    } catch (const InvalidKeyException& e) {
        EXPECT_STREQ(e.what(), "The specified key 'missing' was not found in this configuration");
    }
    const Configuration& readOnly = c;
    EXPECT_THROW(readOnly["missing"], InvalidKeyException);
    EXPECT_EQ(c.size(), 1u);
    EXPECT_EQ(c.count("missing"), 0u);
}

TEST_F(KeyValueFile, UnopenableFilesAreIOErrors)
{
    const std::string missing = dir.File("absent.conf");
    try {
        Configuration c(missing);
        FAIL();
    } catch (const IOError& e) {
        EXPECT_EQ(std::string(e.what()), "Unable to open '" + missing + "': " + std::strerror(ENOENT));
    }
    EXPECT_FALSE(orvauth_test::FileExists(missing));
    // A directory opens but cannot be read.
    EXPECT_THROW(Configuration c(dir.Path()), IOError);
}

}  // namespace
