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
#include <unistd.h>

namespace {

using orvauth_test::ReadFile;
using orvauth_test::WriteFile;
using Files = std::map<std::string, std::string>;  // name in the temporary directory -> content

// The module goes last on the login lines; every other byte stays.
const char* const NSS = "# the host's own\npasswd:\tfiles systemd  # local first\ngroup: files systemd\nshadow: files\n"
                        "hosts: files dns\ngshadow: files systemd\n";
const char* const NSS_ON = "# the host's own\npasswd:\tfiles systemd simdirectory  # local first\n"
                           "group: files systemd simdirectory\nshadow: files simdirectory\nhosts: files dns\n"
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
                                      host.File("pam.d"), "--state-dir", state.File("orvauthctl"),
                                      "--sssd-conf", state.File("sssd.conf"), "logins"};
        argv.insert(argv.end(), words.begin(), words.end());
        return orvauth_test::RunChild(argv);
    }

    orvauth_test::TempDir host;
    orvauth_test::TempDir state;
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
                                     "shadow: files [NOTFOUND=return] db simdirectory\n"},
                   {"pam.d/login", Pam("auth [success=1 ignore=ignore default=die] pam_securetty.so\n"
                                       "auth [success=ok default=2] pam_nologin.so\n"
                                       "auth [success=2 default=ignore] /lib/security/pam_unix.so\n"
                                       "auth [success=1 default=ignore] " + MODULE + "\n" +
                                       DENY_PERMIT + "session required pam_limits.so\n"
                                       "session optional " + MODULE + "\n")}}},
        RoundTrip{"SufficientUnix", {{"nsswitch.conf", NSS}, {"pam.d/system-auth", Pam(AUTH_OFF)}},
                  {{"nsswitch.conf", NSS_ON}, {"pam.d/system-auth", Pam(AUTH_ON)}}},
        // What was there before enable stays after disable.
        RoundTrip{"ModulesThereBefore",
                  {{"nsswitch.conf", "passwd: files simdirectory\ngroup: files\nshadow: files\n"},
                   {"pam.d/system-auth", Pam(AUTH_ON)}},
                  {{"nsswitch.conf", "passwd: files simdirectory\ngroup: files simdirectory\nshadow: files simdirectory\n"},
                   {"pam.d/system-auth", Pam(AUTH_ON)}}}),
    [](const ::testing::TestParamInfo<RoundTrip>& info) { return info.param.name; });

struct Refusal {
    const char* name;
    Files files;
    std::string report;  // in the error message
};

class LoginsRefusalTest : public LoginsTest, public ::testing::WithParamInterface<Refusal> {};

// Enable refuses as a whole: every file stays as it is, nothing recorded.
TEST_P(LoginsRefusalTest, RefusedFileChangesNothing)
{
    const Refusal& refusal = GetParam();
    Files files{{"nsswitch.conf", NSS}, {"pam.d/common-auth", Pam(AUTH_OFF)}};
    for (const auto& file : refusal.files) {
        files[file.first] = file.second;
    }
    Write(files);
    orvauth_test::ChildResult result = Logins({"enable", "common-auth", "other"});
    EXPECT_EQ(1, result.status);
    EXPECT_NE(std::string::npos, result.err.find(refusal.report)) << result.err;
    EXPECT_NE(std::string::npos, result.err.find("no file was changed")) << result.err;
    EXPECT_EQ(files, Read(files));
    EXPECT_NE(0, ::access(state.File("orvauthctl/logins.json").c_str(), F_OK));  // nothing recorded
}

INSTANTIATE_TEST_SUITE_P(
    Files, LoginsRefusalTest,
    ::testing::Values(
        Refusal{"Include", {{"pam.d/other", "auth required pam_env.so\n@include common-auth\n"}},
                "other: the model refuses it: Invalid Facility: @include"},
        Refusal{"RequiredUnix", {{"pam.d/other", "auth required pam_unix.so\n"}},
                "other: the auth rule of pam_unix.so ('required') neither is sufficient nor jumps on success"},
        Refusal{"NoUnix", {{"pam.d/other", "auth required pam_env.so\n"}},
                "other: the auth rules have no pam_unix.so to add pam_simdirectory.so next to"},
        Refusal{"Missing", {}, "other: cannot read it: No such file or directory"},
        Refusal{"NoShadowLine",
                {{"nsswitch.conf", "passwd: files\ngroup: files\n"}, {"pam.d/other", "auth sufficient pam_unix.so\n"}},
                "nsswitch.conf: there is no shadow line"}),
    [](const ::testing::TestParamInfo<Refusal>& info) { return info.param.name; });

// Files changed by others after enable: disable takes out only what enable
// added, keeps the rest, and says so.
TEST_F(LoginsTest, DisableAfterOtherChangesRemovesOnlyWhatEnableAdded)
{
    Write({{"nsswitch.conf", NSS}, {"pam.d/system-auth", Pam(AUTH_OFF)}});
    ASSERT_EQ(0, Logins({"enable", "system-auth"}).status);
    Write({{"nsswitch.conf", std::string(NSS_ON) + "# added later\n"},
           {"pam.d/system-auth", Pam(AUTH_ON + "session optional pam_systemd.so\n")}});
    orvauth_test::ChildResult result = Logins({"disable", "system-auth"});
    EXPECT_EQ(0, result.status) << result.err;
    EXPECT_NE(std::string::npos, result.out.find("changed since logins enable; only what enable added was taken out"));
    EXPECT_EQ((Files{{"nsswitch.conf", std::string(NSS) + "# added later\n"},
                     {"pam.d/system-auth", Pam(AUTH_OFF + "session optional pam_systemd.so\n")}}),
              Read({{"nsswitch.conf", ""}, {"pam.d/system-auth", ""}}));
    // No record left: a second disable changes nothing.
    EXPECT_NE(std::string::npos, Logins({"disable", "system-auth"}).out.find("nothing to give back"));
}

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
    EXPECT_EQ("active store: None\nmodules: simdirectory (name-service switch), pam_simdirectory.so (PAM, through "
              "PAM model)\n" + host.File("nsswitch.conf") + ": partly on\n" + host.File("pam.d/common-auth") +
                  ": off\npermitted to log in:\n  nobody (logins permit --user/--group/--all says who may)\n"
                  "offline logins: SSSD's default\nDNS registration: off\nmachine password: unknown: this host is "
                  "not joined to a domain: it has no machine password\n",
              status.out);
    EXPECT_EQ(2, Logins({"restart"}).status);
    for (const std::vector<std::string>& usage : std::vector<std::vector<std::string>>{
             {"permit", "alice"}, {"permit", "--user"}, {"permit", "--all", "alice"}, {"deny", "--gpo"},
             {"permit", "--user", "--group", "a"}}) {
        EXPECT_EQ(2, Logins(usage).status) << usage[1];
    }
    orvauth_test::ChildResult unjoined = Logins({"permit", "--group", "operators"});
    EXPECT_EQ(1, unjoined.status);
    EXPECT_NE(std::string::npos, unjoined.err.find("this host is not joined to a domain")) << unjoined.err;
}

}  // namespace
