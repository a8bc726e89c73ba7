// The readers must behave the same whatever buffering the stream has: words
// and lines cut by buffer ends, buffers without a get area, buffers that
// fail.

#include "ChunkedStreamBuffer.h"
#include "TextForms.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <streambuf>
#include <string>

using namespace SystemConfiguration;

namespace {

class FailingBuffer : public std::streambuf {
protected:
    int_type underflow() override { throw std::runtime_error("device gone"); }
};

class FlushCounter : public std::streambuf {
public:
    int syncs = 0;
    std::string written;

protected:
    int_type overflow(int_type c) override
    {
        written += traits_type::to_char_type(c);
        return c;
    }
    int sync() override { return ++syncs, 0; }
};

const std::string PAM_TEXT =
    "#%PAM-1.0\n# comment line that is rather long\nauth    [success=2 default=ignore]   pam_unix.so nullok_secure\n"
    "auth [success=1\n default=ignore] pam_sss.so use_first_pass\naccount required pam_unix.so\n"
    "session optional pam_systemd.so\npassword requisite pam_pwquality.so retry=3 minlen=8\nsession required";
const std::string NSS_TEXT =
    "# header\npasswd:         files systemd ldap [NOTFOUND=return UNAVAIL=continue]\n"
    "hosts: files  [x] dns [!UNAVAIL=return] mdns4_minimal [NOTFOUND=return\nsudoers: files\ngroup: files";

TEST(StreamBufferTest, EveryBufferingReadsTheSame)
{
    const std::string expectedPolicy = sysconfig_test::Write(sysconfig_test::ReadPolicy(PAM_TEXT));
    const std::string expectedNSS = sysconfig_test::Write(sysconfig_test::ReadNSS(NSS_TEXT));
    EXPECT_NE(expectedPolicy.find("[success=1 default=ignore]"), std::string::npos);
    for (std::size_t chunk : {0, 1, 2, 3, 5, 7, 13, 64}) {
        SCOPED_TRACE(chunk);
        ChunkedStreamBuffer pamBuffer(PAM_TEXT, chunk);
        std::istream pamIn(&pamBuffer);
        PAMPolicy policy("p");
        pamIn >> policy;
        EXPECT_EQ(sysconfig_test::Write(policy), expectedPolicy);
        EXPECT_TRUE(pamIn.eof());

        ChunkedStreamBuffer nssBuffer(NSS_TEXT, chunk);
        std::istream nssIn(&nssBuffer);
        NSSConfiguration configuration;
        nssIn >> configuration;
        EXPECT_EQ(sysconfig_test::Write(configuration), expectedNSS);
    }
}

TEST(StreamBufferTest, EntryReadStopsAtItsLineWhateverTheBuffering)
{
    for (std::size_t chunk : {0, 1, 4}) {
        ChunkedStreamBuffer buffer(" [a\n b] mod.so x y\nnext", chunk);
        std::istream in(&buffer);
        PAMEntry entry;
        in >> entry;
        EXPECT_EQ(static_cast<std::string>(entry.control()), "[a b]");
        EXPECT_EQ(entry.parameters(), (std::list<std::string>{"x", "y"}));
        EXPECT_EQ(in.get(), 'n');
    }
}

TEST(StreamBufferTest, AFailingBufferSetsBadbitOrThrowsAsTheMaskSays)
{
    FailingBuffer buffer;
    std::istream in(&buffer);
    PAMPolicy policy("p");
    in >> policy;
    EXPECT_TRUE(in.bad());
    EXPECT_TRUE(policy.GetStacks().empty());

    std::istream nssIn(&buffer);
    NSSConfiguration configuration;
    nssIn >> configuration;
    EXPECT_TRUE(nssIn.bad());

    std::istream throwing(&buffer);
    throwing.exceptions(std::ios_base::badbit);
    EXPECT_THROW(throwing >> policy, std::runtime_error);
    EXPECT_TRUE(throwing.bad());
}

TEST(StreamBufferTest, EveryWrittenLineIsFlushed)
{
    FlushCounter buffer;
    std::ostream out(&buffer);
    out << sysconfig_test::ReadPolicy("auth required a.so\nauth required b.so\nsession optional c.so\n");
    // Header, empty line, two auth lines, empty line, one session line, empty line.
    EXPECT_EQ(buffer.syncs, 7);

    FlushCounter nssBuffer;
    std::ostream nssOut(&nssBuffer);
    nssOut << sysconfig_test::ReadNSS("passwd: files\ngroup: files\n");
    EXPECT_EQ(nssBuffer.syncs, 2);
    EXPECT_EQ(nssBuffer.written, "passwd: files\ngroup: files\n");
}

}  // namespace
