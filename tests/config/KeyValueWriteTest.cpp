// Writing key/value files: exact layout, round trips, and the pairs refused
// because they would not read back as written.
#include "common/Files.h"

#include <orvane/authentication/Configuration.h>
#include <orvane/authentication/Exceptions.h>

#include <gtest/gtest.h>

using namespace orvane::authentication;
using orvauth_test::ListDirectory;
using orvauth_test::ReadFile;
using orvauth_test::TempDir;
using orvauth_test::WriteFile;

namespace {

class KeyValueWrite : public ::testing::Test {
protected:
    void SetUp() override { WriteFile(path, "b = 2\n# stays until rewritten = x\n"); }
    TempDir dir;
    std::string path = dir.File("file.conf");
};

TEST_F(KeyValueWrite, WritesSortedQuotedLinesAndNothingElse)
{
    Configuration c(path);
    c.erase("# stays until rewritten");
    c.insert({"a", "1"});
    c.Write();
    EXPECT_EQ(ReadFile(path), "a = \"1\"\nb = \"2\"\n");
}

TEST_F(KeyValueWrite, EmptyConfigurationGivesEmptyFile)
{
    Configuration c(path);
    c.clear();
    c.Write();
    EXPECT_EQ(ReadFile(path), "");
    EXPECT_EQ(ListDirectory(dir.Path()), std::vector<std::string>{"file.conf"});
}

TEST_F(KeyValueWrite, ValuesRoundTripUnescaped)
{
    Configuration c(path);
    c.clear();
    c.insert({"quotes", "say \"hi\" 'there'"});
    c.insert({"blanks", "  padded  "});
    c.insert({"empty", ""});
    c.insert({"eq", "a=b"});
    c.insert({"cr", "x\r"});
    c.Write();
    Configuration back(path);
    using Map = std::map<std::string, std::string>;
    EXPECT_EQ(static_cast<const Map&>(back), static_cast<const Map&>(c));
}

struct RefusedPair {
    const char* label;
    std::string key;
    std::string value;
};

class UnwritablePair : public KeyValueWrite, public ::testing::WithParamInterface<RefusedPair> {};

TEST_P(UnwritablePair, IsRefusedBeforeTheFileIsTouched)
{
    const std::string before = ReadFile(path);
    Configuration c(path);
    c.insert({GetParam().key, GetParam().value});
    try {
        c.Write();
        FAIL() << "wrote " << GetParam().label;
    } catch (const ConfigurationError& e) {
        EXPECT_NE(std::string(e.what()).find("'" + GetParam().key + "'"), std::string::npos) << e.what();
    }
    EXPECT_EQ(ReadFile(path), before);
    EXPECT_EQ(ListDirectory(dir.Path()), std::vector<std::string>{"file.conf"});
}

INSTANTIATE_TEST_SUITE_P(Pairs, UnwritablePair,
                         ::testing::Values(RefusedPair{"LineFeedInKey", "a\nb", "v"},
                                           RefusedPair{"LineFeedInValue", "k", "line\nfeed"},
                                           RefusedPair{"EqualsInKey", "a=b", "v"},
                                           RefusedPair{"EmptyKey", "", "v"},
                                           RefusedPair{"LeadingBlank", " k", "v"},
                                           RefusedPair{"TrailingTab", "k\t", "v"},
                                           RefusedPair{"LoneQuote", "\"", "v"},
                                           RefusedPair{"LoneApostrophe", "'", "v"},
                                           RefusedPair{"QuotedKey", "'k'", "v"},
                                           RefusedPair{"DoubleQuotedKey", "\"k\"", "v"}),
                         [](const ::testing::TestParamInfo<RefusedPair>& info) {
                             return std::string(info.param.label);
                         });

TEST_F(KeyValueWrite, KeysWithUnmatchedQuotesStillRoundTrip)
{
    Configuration c(path);
    c.clear();
    c.insert({"'k\"", "v"});
    c.insert({"k'", "w"});
    c.Write();
    Configuration back(path);
    EXPECT_EQ(back["'k\""], "v");
    EXPECT_EQ(back["k'"], "w");
}

TEST_F(KeyValueWrite, TwoObjectsOnOneFileLastWriterWins)
{
    Configuration first(path);
    Configuration second(path);
    first["b"] = "first";
    second["b"] = "second";
    first.Write();
    second.Write();
    EXPECT_EQ(Configuration(path)["b"], "second");
}

}  // namespace
