// The readers work on the stream buffer's get area directly, so they must
// behave the same whatever buffering the stream has: words and lines cut by
// buffer ends, buffers without a get area, buffers that fail, streams that
// have already failed.

#include "ChunkedStreamBuffer.h"
#include "TextForms.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <streambuf>
#include <string>

using namespace SystemConfiguration;
using namespace sysconfig_test;

namespace {

const std::string PAM_TEXT =
    "#%PAM-1.0\n# comment line that is rather long\nauth    [success=2 default=ignore]   pam_unix.so nullok_secure\n"
    "auth [success=1\n default=ignore] pam_sss.so use_first_pass\naccount required pam_unix.so\n"
    "session optional pam_systemd.so\npassword requisite pam_pwquality.so retry=3 minlen=8\nsession required";
const std::string NSS_TEXT =
    "# header\npasswd:         files systemd ldap [NOTFOUND=return UNAVAIL=continue]\n"
    "hosts: files  [x] dns [!UNAVAIL=return] mdns4_minimal [NOTFOUND=return\nsudoers: files\ngroup: files";

TEST(StreamBufferTest, EveryBufferingReadsTheSame)
{
    const std::string expectedPolicy = Write(ReadPolicy(PAM_TEXT));
    const std::string expectedNSS = Write(ReadNSS(NSS_TEXT));
    EXPECT_NE(expectedPolicy.find("[success=1 default=ignore]"), std::string::npos);
    for (std::size_t chunk : {0, 1, 2, 3, 5, 7, 13, 64}) {
        SCOPED_TRACE(chunk);
        ChunkedStreamBuffer pamBuffer(PAM_TEXT, chunk), nssBuffer(NSS_TEXT, chunk);
        std::istream pamIn(&pamBuffer), nssIn(&nssBuffer);
        PAMPolicy policy("p");
        NSSConfiguration configuration;
        pamIn >> policy;
        nssIn >> configuration;
        EXPECT_EQ(Write(policy), expectedPolicy);
        EXPECT_TRUE(pamIn.eof());
        EXPECT_FALSE(pamIn.bad());
        EXPECT_EQ(Write(configuration), expectedNSS);

        ChunkedStreamBuffer entryBuffer(" [a\n b] mod.so x y\nnext", chunk);
        std::istream entryIn(&entryBuffer);
        PAMEntry entry;
        entryIn >> entry;
        EXPECT_EQ(static_cast<std::string>(entry.control()), "[a b]");
        EXPECT_EQ(entry.parameters(), (std::list<std::string>{"x", "y"}));
        EXPECT_EQ(entryIn.get(), 'n');  // the entry ends with its line
    }
}

TEST(StreamBufferTest, FailingBuffersAndFailedStreams)
{
    struct FailingBuffer : std::streambuf {
        int_type underflow() override { throw std::runtime_error("device gone"); }
    } buffer;
    std::istream in(&buffer), nssIn(&buffer), throwing(&buffer);
    PAMPolicy policy("p");
    NSSConfiguration configuration;
    in >> policy;
    nssIn >> configuration;
    EXPECT_TRUE(in.bad());
    EXPECT_TRUE(nssIn.bad());
    throwing.exceptions(std::ios_base::badbit);
    EXPECT_THROW(throwing >> policy, std::runtime_error);
    EXPECT_TRUE(throwing.bad());

    std::istringstream failed("auth required pam_unix.so\n"), nssFailed("group: files\n");
    failed.setstate(std::ios_base::failbit);
    nssFailed.setstate(std::ios_base::failbit);
    failed >> policy;
    nssFailed >> configuration;
    EXPECT_TRUE(policy.GetStacks().empty());
    EXPECT_TRUE(configuration.empty());
}

TEST(StreamBufferTest, EveryWrittenLineIsFlushed)
{
    struct FlushCounter : std::streambuf {
        int syncs = 0;
        std::string written;
        int_type overflow(int_type c) override { return written += traits_type::to_char_type(c), c; }
        int sync() override { return ++syncs, 0; }
    } pamBuffer, nssBuffer;
    std::ostream(&pamBuffer) << ReadPolicy("auth required a.so\nauth required b.so\nsession optional c.so\n");
    // Header, empty line, two auth lines, empty line, one session line, empty line.
    EXPECT_EQ(pamBuffer.syncs, 7);
    std::ostream(&nssBuffer) << ReadNSS("passwd: files\ngroup: files\n");
    EXPECT_EQ(nssBuffer.syncs, 2);
    EXPECT_EQ(nssBuffer.written, "passwd: files\ngroup: files\n");
}

}  // namespace
