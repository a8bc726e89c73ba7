// orvauthctl logins, run as a child process on real files in a temporary
// directory, with the reference directory plug-in's modules
// (pam_simdirectory.so try_first_pass, simdirectory).
#include "common/ChildProcess.h"

#include "common/Files.h"

#include <SystemConfiguration/PAMPolicy.h>

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <sys/stat.h>

namespace {

using orvauth_test::ReadFile;
using orvauth_test::WriteFile;
using Files = std::map<std::string, std::string>;  // name in the temporary directory -> content

// gshadow is no database of the model: its line is carried over at the end.
const char* const NSS =
    "passwd: files systemd\ngroup: files systemd\nshadow: files\nhosts: files dns\ngshadow: files systemd\n";
const char* const NSS_ON =
    "passwd: files simdirectory systemd\ngroup: files simdirectory systemd\nshadow: files simdirectory\nhosts: files dns\n"
    "gshadow: files systemd\n";
const std::string MODULE = "pam_simdirectory.so try_first_pass";
const std::string AUTH_OFF = "auth sufficient pam_unix.so\nauth required pam_deny.so\n";
const std::string AUTH_ON = "auth sufficient pam_unix.so\nauth sufficient " + MODULE + "\nauth required pam_deny.so\n";

// Rules one per line, written the way the library's PAM model writes them.
std::string Pam(const std::string& rules)
{
    SystemConfiguration::PAMPolicy policy("expected");
    std::istringstream in(rules);
    in >> policy;
    std::ostringstream out;
    out << policy;
    return out.str();
}

class LoginsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        orvauth_test::ResetConfigDir();
        Activate("Active Directory");
        WriteFile(orvauth_test::ConfigFile("provider.conf"), "provider = \"simdirectory\"\n");
        ::mkdir(host.File("pam.d").c_str(), 0755);
    }

    static void Activate(const std::string& store)
    {
        WriteFile(orvauth_test::ConfigFile("authentication.conf"), "remote-authentication-store = \"" + store + "\"\n");
    }

    void Write(const Files& files) const
    {
        for (const auto& file : files) {
            WriteFile(host.File(file.first), file.second);
        }
    }

    Files Read(const Files& names) const
    {
        Files files;
        for (const auto& file : names) {
            files[file.first] = ReadFile(host.File(file.first));
        }
        return files;
    }

    orvauth_test::ChildResult Logins(const std::vector<std::string>& words) const
    {
        std::vector<std::string> argv{ORVAUTHCTL_PATH, "--nsswitch-conf", host.File("nsswitch.conf"), "--pam-dir",
                                      host.File("pam.d"), "logins"};
        argv.insert(argv.end(), words.begin(), words.end());
        return orvauth_test::RunChild(argv);
    }

    orvauth_test::TempDir host;
};

struct RoundTrip {
    const char* name;
    Files before;
    Files enabled;
};

class LoginsRoundTripTest : public LoginsTest, public ::testing::WithParamInterface<RoundTrip> {};

// Enable gives exactly the expected files, a second enable changes nothing,
// disable gives back the original bytes, twice as well; modes are kept.
TEST_P(LoginsRoundTripTest, EnableThenDisableRestoresEveryByte)
{
    const RoundTrip& trip = GetParam();
    Write(trip.before);
    ::chmod(host.File("nsswitch.conf").c_str(), 0640);
    std::vector<std::string> pamFiles;
    for (const auto& file : trip.before) {
        if (file.first.rfind("pam.d/", 0) == 0) {
            pamFiles.push_back(file.first.substr(6));
        }
    }
    for (const char* verb : {"enable", "enable", "disable", "disable"}) {
        SCOPED_TRACE(verb);
        std::vector<std::string> words{verb};
        words.insert(words.end(), pamFiles.begin(), pamFiles.end());
        orvauth_test::ChildResult result = Logins(words);
        EXPECT_EQ(0, result.status) << result.out << result.err;
        EXPECT_EQ(std::string(verb) == "enable" ? trip.enabled : trip.before, Read(trip.before));
        EXPECT_EQ(0640u, orvauth_test::FileMode(host.File("nsswitch.conf")));
        EXPECT_EQ(2u, orvauth_test::ListDirectory(host.Path()).size());  // no temporary file left
        EXPECT_EQ(pamFiles, orvauth_test::ListDirectory(host.File("pam.d")));
    }
}

const std::string DENY_PERMIT = "auth requisite pam_deny.so\nauth required pam_permit.so\n";

INSTANTIATE_TEST_SUITE_P(
    Layouts, LoginsRoundTripTest,
    ::testing::Values(
        RoundTrip{"DebianDefaults",
                  {{"nsswitch.conf", NSS},
                   {"pam.d/common-auth", Pam("auth [success=1 default=ignore] pam_unix.so nullok\n" + DENY_PERMIT)},
                   {"pam.d/common-account",
                    Pam("account [success=1 new_authtok_reqd=done default=ignore] pam_unix.so\n"
                        "account requisite pam_deny.so\naccount required pam_permit.so\n")},
                   {"pam.d/common-session",
                    Pam("session [default=1] pam_permit.so\nsession requisite pam_deny.so\n"
                        "session required pam_permit.so\nsession required pam_unix.so\n"
                        "session optional pam_systemd.so\n")}},
                  {{"nsswitch.conf", NSS_ON},
                   {"pam.d/common-auth", Pam("auth [success=2 default=ignore] pam_unix.so nullok\n"
                                             "auth [success=1 default=ignore] " + MODULE + "\n" +
                                             DENY_PERMIT)},
                   {"pam.d/common-account",
                    Pam("account [success=1 new_authtok_reqd=done default=ignore] pam_unix.so\n"
                        "account requisite pam_deny.so\naccount required pam_permit.so\n"
                        "account [default=bad success=ok user_unknown=ignore] " + MODULE + "\n")},
                   {"pam.d/common-session",
                    Pam("session [default=1] pam_permit.so\nsession requisite pam_deny.so\n"
                        "session required pam_permit.so\nsession required pam_unix.so\n"
                        "session optional " + MODULE + "\nsession optional pam_systemd.so\n")}}},
        // Jumps of earlier rules that land at or past the insertion point keep
        // their targets (pam_nologin's failure still reaches pam_deny.so);
        // those that land before it stay as they are.
        RoundTrip{"EarlierJumps",
                  {{"nsswitch.conf", "passwd: compat\ngroup: files\nshadow: files [NOTFOUND=return] db\n"},
                   {"pam.d/login", Pam("auth [success=1 ignore=ignore default=die] pam_securetty.so\n"
                                       "auth [success=ok default=1] pam_nologin.so\n"
                                       "auth [success=1 default=ignore] /lib/security/pam_unix.so\n" + DENY_PERMIT +
                                       "session required pam_limits.so\n")}},
                  {{"nsswitch.conf", "passwd: compat simdirectory\ngroup: files simdirectory\n"
                                     "shadow: files [NOTFOUND=return] simdirectory db\n"},
                   {"pam.d/login", Pam("auth [success=1 ignore=ignore default=die] pam_securetty.so\n"
                                       "auth [success=ok default=2] pam_nologin.so\n"
                                       "auth [success=2 default=ignore] /lib/security/pam_unix.so\n"
                                       "auth [success=1 default=ignore] " + MODULE + "\n" +
                                       DENY_PERMIT + "session required pam_limits.so\n"
                                       "session optional " + MODULE + "\n")}}},
        RoundTrip{"SufficientUnix", {{"nsswitch.conf", NSS}, {"pam.d/system-auth", Pam(AUTH_OFF)}},
                  {{"nsswitch.conf", NSS_ON}, {"pam.d/system-auth", Pam(AUTH_ON)}}}),
    [](const ::testing::TestParamInfo<RoundTrip>& info) { return info.param.name; });

struct Refusal {
    const char* name;
    const char* verb;
    Files files;
    std::string report;  // the refused file's line
};

class LoginsRefusalTest : public LoginsTest, public ::testing::WithParamInterface<Refusal> {};

// A refused file is reported and left as it is; enable then changes no
// file at all, disable still turns the others off.
TEST_P(LoginsRefusalTest, RefusedFileIsReportedAndKept)
{
    const Refusal& refusal = GetParam();
    const Files off{{"nsswitch.conf", NSS}, {"pam.d/common-auth", Pam(AUTH_OFF)}};
    const bool enable = std::string(refusal.verb) == "enable";
    Files files = enable ? off : Files{{"nsswitch.conf", NSS_ON}, {"pam.d/common-auth", Pam(AUTH_ON)}};
    Files expected = off;
    for (const auto& file : refusal.files) {
        files[file.first] = expected[file.first] = file.second;
    }
    Write(files);
    orvauth_test::ChildResult result = Logins({refusal.verb, "common-auth", "other"});
    EXPECT_EQ(1, result.status);
    EXPECT_NE(std::string::npos, result.out.find(refusal.report)) << result.out;
    EXPECT_EQ(expected, Read(files));
}

INSTANTIATE_TEST_SUITE_P(
    Files, LoginsRefusalTest,
    ::testing::Values(
        Refusal{"Include", "enable", {{"pam.d/other", "auth required pam_env.so\n@include common-auth\n"}},
                "other: refused: the model refuses it: Invalid Facility: @include\n"},
        Refusal{"RequiredUnix", "enable", {{"pam.d/other", "auth required pam_unix.so\n"}},
                "other: refused: the auth rule of pam_unix.so ('required') neither is sufficient nor jumps on success\n"},
        Refusal{"NoUnix", "enable", {{"pam.d/other", "auth required pam_env.so\n"}},
                "other: refused: the auth rules have no pam_unix.so to add pam_simdirectory.so next to\n"},
        Refusal{"Missing", "enable", {}, "other: refused: cannot read it: No such file or directory\n"},
        Refusal{"NoShadowLine", "enable", {{"nsswitch.conf", "passwd: files\ngroup: files\n"}, {"pam.d/other", "auth sufficient pam_unix.so\n"}},
                "nsswitch.conf: refused: there is no shadow line\n"},
        Refusal{"JumpOverModuleAlone", "disable",
                {{"pam.d/other", Pam("auth [success=1 default=ignore] pam_unix.so\nauth sufficient " +
                                     MODULE + "\nauth required pam_deny.so\n")}},
                "other: refused: the rule '[success=1 default=ignore] pam_unix.so' jumps over 'pam_simdirectory.so' alone\n"}),
    [](const ::testing::TestParamInfo<Refusal>& info) { return info.param.name; });

TEST_F(LoginsTest, EnableNeedsTheDirectoryStoreActiveStatusTellsPartlyOn)
{
    const Files files{{"nsswitch.conf", "passwd: files simdirectory\ngroup: files\nshadow: files\n"},
                      {"pam.d/common-auth", Pam("auth sufficient pam_unix.so\n")}};
    Write(files);
    Activate("None");
    orvauth_test::ChildResult refused = Logins({"enable", "common-auth"});
    EXPECT_EQ(1, refused.status);
    EXPECT_EQ("orvauthctl: logins enable needs the active store to be 'Active Directory', not 'None'; "
              "no file was changed\n", refused.err);
    EXPECT_EQ(files, Read(files));

    orvauth_test::ChildResult status = Logins({"status", "common-auth"});
    EXPECT_EQ(0, status.status);
    EXPECT_EQ("active store: None\nmodules: simdirectory (name-service switch), pam_simdirectory.so (PAM)\n" +
                  host.File("nsswitch.conf") + ": partly on\n" + host.File("pam.d/common-auth") + ": off\n",
              status.out);
    EXPECT_EQ(2, Logins({"restart"}).status);
}

}  // namespace
