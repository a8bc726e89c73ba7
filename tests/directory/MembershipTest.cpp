// The plug-in's joins and leaves and the settling of those a killed process
// left half done, against a scripted adcli. The state file, the journal and
// the keytab live in this test's sandbox (its build of the plug-in's state
// code has its own BuildSettings.h); the SSSD configuration is a file there,
// with no service manager to restart.
#include "adclient/AdClientState.h"
#include "adclient/HostIdentity.h"
#include "adclient/HostKeytab.h"
#include "adclient/IntentJournal.h"
#include "adclient/Membership.h"
#include "common/Files.h"
#include "common/StatusError.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <krb5.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace adclient;
using orvauth_test::FileExists;

namespace {

const std::string SANDBOX = MEMBERSHIP_SANDBOX;
const std::string SSSD_CONF = SANDBOX + "/sssd.conf", INTENT = SANDBOX + "/state/adclient.intent";
const std::string KRB5_CONF = ORVAUTH_KRB5_CONF;
const char* const DOMAIN = "corp.example.test";
const char* const SID = "S-1-5-21-1-2-3";

const char* const DETAILS =
    "domain-name = corp.example.test\ndomain-short = CORP\ndomain-realm = CORP.EXAMPLE.TEST\n"
    "domain-SID = S-1-5-21-1-2-3\ndomain-controller = dc1.corp.example.test\ncomputer-name = NODE01\n";
const char* const JOINED =
    "domain = corp.example.test\nnetbios = CORP\nrealm = CORP.EXAMPLE.TEST\ndomain_sid = S-1-5-21-1-2-3\n"
    "controller = dc1.corp.example.test\ncomputer_name = NODE01\nhost_fqdn = node01.corp.example.test\n";
// Every case names a controller, so that no join looks one up in DNS.
const char* const SETTINGS = "preferred_controller = dc1.corp.example.test\n";

struct Reply {
    std::string verb;  // the adcli command the run must be
    int status;        // -1: stopped at its bound
    const char* output;
    const char* errors;
};
const Reply JOIN_DONE{"join", 0, DETAILS, ""}, JOIN_ELSEWHERE{"join", 0, "domain-SID = S-1-5-21-9-9-9\n", ""},
    JOIN_REFUSED{"join", 1, "", "adcli: couldn't authenticate: Preauthentication failed\n"}, JOIN_CUT{"join", -1, "", ""},
    DELETED{"delete-computer", 0, "", ""}, DELETE_CUT{"delete-computer", -1, "", ""}, ACCEPTED{"testjoin", 0, "", ""},
    REFUSED{"testjoin", 1, "", "adcli: couldn't authenticate: Client not found in Kerberos database\n"},
    NO_ANSWER{"testjoin", -1, "", ""}, INFO{"info", 0, "domain-name = corp.example.test\ndomain-short = CORP\n", ""};

// Adds a key of principal (the machine account NODE01 by default, as adcli
// join writes it) to a keytab.
void WriteKeytab(const std::string& path = KeytabPath(), const char* principal = "NODE01$@CORP.EXAMPLE.TEST",
                 krb5_kvno kvno = 1)
{
    krb5_context context = nullptr;
    ASSERT_EQ(krb5_init_context(&context), 0);
    krb5_keytab keytab = nullptr;
    ASSERT_EQ(krb5_kt_resolve(context, ("WRFILE:" + path).c_str(), &keytab), 0);
    krb5_keytab_entry entry{};
    ASSERT_EQ(krb5_parse_name(context, principal, &entry.principal), 0);
    unsigned char key[16] = {};
    entry.vno = kvno;
    entry.key = {KV5M_KEYBLOCK, ENCTYPE_AES128_CTS_HMAC_SHA1_96, sizeof key, key};
    EXPECT_EQ(krb5_kt_add_entry(context, keytab, &entry), 0);
    krb5_free_principal(context, entry.principal);
    krb5_kt_close(context, keytab);
    krb5_free_context(context);
}

// An administrator's key in the host keytab, which no operation may touch.
const char* const NFS = "nfs/node01.corp.example.test@CORP.EXAMPLE.TEST";

// adcli as a case scripts it; a join that gets as far as the directory
// writes the keytab it was given, as adcli does.
class ScriptedAdcli final : public AdcliRunner {
public:
    explicit ScriptedAdcli(std::vector<Reply> script) : script(std::move(script)) {}
    AdcliOutcome Run(const std::vector<std::string>& arguments, const char*, std::chrono::milliseconds) override
    {
        const Reply reply = runs < script.size() ? script[runs] : Reply{"(none)", 1, "", ""};
        EXPECT_EQ(arguments.front(), reply.verb) << "run " << runs;
        seen.push_back(arguments);
        ++runs;
        if (reply.verb == "join" && reply.status <= 0) {
            const std::string keytab = arguments[3].substr(std::string("--host-keytab=").size());
            EXPECT_EQ(keytab, StagedKeytabPath(KeytabPath()));
            WriteKeytab(keytab);
        }
        AdcliOutcome outcome;
        outcome.status = reply.status;
        outcome.timedOut = reply.status < 0;
        outcome.output = reply.output;
        outcome.errors = reply.errors;
        return outcome;
    }
    std::vector<Reply> script;
    std::size_t runs = 0;
    std::vector<std::vector<std::string>> seen;
};

using Operation = void (*)(Membership&);
const Operation JOIN = [](Membership& m) { m.Join(DOMAIN, "", "node01.corp.example.test", "admin", "secret"); };
const Operation PROXY_JOIN = [](Membership& m) { m.JoinWithAccount(DOMAIN, "node01.corp.example.test", "otp", SID); };
const Operation LEAVE = [](Membership& m) { m.Leave(nullptr, nullptr); };
const Operation LEAVE_DELETING = [](Membership& m) { m.Leave("admin", "secret"); };
const Operation CHECK_TRUST = [](Membership& m) { m.CheckTrust(); };
const Operation LOAD = [](Membership& m) { m.SettleWithoutDirectory(); };

// A host joined (state, keytab, SSSD configuration) or not, with a journal
// or none; a join interrupted in adcli leaves the staged keytab it wrote. The
// keytab always holds an administrator's key.
void Reset(bool joined, const std::string& journal)
{
    for (const std::string& file : {StatePath(), INTENT, KeytabPath(), StagedKeytabPath(KeytabPath()), SSSD_CONF,
                                    KRB5_CONF}) {
        ::unlink(file.c_str());
    }
    PrepareDirectories();
    orvauth_test::WriteFile(StatePath(), std::string(SETTINGS) + (joined ? JOINED : ""));
    orvauth_test::WriteFile(INTENT, journal);
    WriteKeytab(KeytabPath(), NFS);
    if (joined || journal.find(intent::DIRECTORY_DONE) != std::string::npos) {  // promoted before the phase
        WriteKeytab();
    } else if (!journal.empty()) {
        WriteKeytab(StagedKeytabPath(KeytabPath()), NFS);
        WriteKeytab(StagedKeytabPath(KeytabPath()));
    }
    if (joined) {
        orvauth_test::WriteFile(KRB5_CONF, WithRealm("", {"CORP.EXAMPLE.TEST", DOMAIN, KeytabPath(), false}));
        orvauth_test::WriteFile(SSSD_CONF, WithDomain("", {DOMAIN, "CORP.EXAMPLE.TEST", KeytabPath(),
                                                           "NODE01$@CORP.EXAMPLE.TEST", "node01.corp.example.test", {}, "", false, ""}));
    }
}

// "principal kvno" of every entry of a keytab, in order; empty when absent.
std::vector<std::string> Principals(const std::string& path, bool withKvno = false)
{
    std::vector<std::string> names;
    krb5_context context = nullptr;
    krb5_keytab keytab = nullptr;
    krb5_kt_cursor cursor;
    if (FileExists(path) && krb5_init_context(&context) == 0 &&
        krb5_kt_resolve(context, ("FILE:" + path).c_str(), &keytab) == 0 &&
        krb5_kt_start_seq_get(context, keytab, &cursor) == 0) {
        krb5_keytab_entry entry;
        while (krb5_kt_next_entry(context, keytab, &entry, &cursor) == 0) {
            char* name = nullptr;
            krb5_unparse_name(context, entry.principal, &name);
            names.push_back(std::string(name) + (withKvno ? " " + std::to_string(entry.vno) : ""));
            krb5_free_unparsed_name(context, name);
            krb5_free_keytab_entry_contents(context, &entry);
        }
        krb5_kt_end_seq_get(context, keytab, &cursor);
    }
    if (keytab != nullptr) {
        krb5_kt_close(context, keytab);
    }
    krb5_free_context(context);
    return names.empty() ? std::vector<std::string>{""} : names;
}

TEST(Membership, JoinsLeavesAndTheSettlingOfInterruptedOnes)
{
    const std::string joinStarted = "operation = join\nphase = started\ndomain = corp.example.test\n"
                                    "host_fqdn = node01.corp.example.test\n";
    const std::string joinDone = std::string("operation = join\nphase = directory_done\n") + JOINED;
    const std::string leaveStarted = "operation = leave\nphase = started\nwith_credentials = yes\n";
    const std::string localLeaveStarted = "operation = leave\nphase = started\nwith_credentials = no\n";
    const struct {
        const char* name;
        bool joined;  // before
        std::string journal;
        Operation operation;
        std::vector<Reply> script;
        std::uint32_t status;
        bool joinedAfter, journalAfter;
    } cases[] = {
        {"join", false, "", JOIN, {JOIN_DONE}, ORVAUTH_STATUS_SUCCESS, true, false},
        {"join when joined", true, "", JOIN, {ACCEPTED}, ORVAUTH_STATUS_ALREADY_JOINED, true, false},
        {"join when joined, no controller answers", true, "", JOIN, {NO_ANSWER}, ORVAUTH_STATUS_ALREADY_JOINED, true,
         false},
        {"join of a restored host, its keytab refused", true, "", JOIN, {REFUSED, JOIN_DONE}, ORVAUTH_STATUS_SUCCESS,
         true, false},
        {"proxy join of a restored host", true, "", PROXY_JOIN, {}, ORVAUTH_STATUS_ALREADY_JOINED, true, false},
        {"join refused", false, "", JOIN, {JOIN_REFUSED}, ORVAUTH_STATUS_INVALID_PASSWORD, false, false},
        {"join cut at its bound", false, "", JOIN, {JOIN_CUT}, ORVAUTH_STATUS_TIMED_OUT, false, true},
        {"proxy join", false, "", PROXY_JOIN, {JOIN_DONE}, ORVAUTH_STATUS_SUCCESS, true, false},
        {"proxy join elsewhere", false, "", PROXY_JOIN, {JOIN_ELSEWHERE}, ORVAUTH_STATUS_DOMAIN_TRUST_INCONSISTENT,
         false, false},
        {"leave when not joined", false, "", LEAVE, {}, ORVAUTH_STATUS_FILE_NOT_FOUND, false, false},
        {"leave", true, "", LEAVE, {}, ORVAUTH_STATUS_SUCCESS, false, false},
        {"leave deleting the account", true, "", LEAVE_DELETING, {DELETED}, ORVAUTH_STATUS_SUCCESS, false, false},
        {"leave cut at its bound", true, "", LEAVE_DELETING, {DELETE_CUT}, ORVAUTH_STATUS_TIMED_OUT, true, true},
        {"join past the directory, load", false, joinDone, LOAD, {}, ORVAUTH_STATUS_SUCCESS, true, false},
        {"join started, load", false, joinStarted, LOAD, {}, ORVAUTH_STATUS_SUCCESS, false, true},
        {"join started, keytab accepted", false, joinStarted, CHECK_TRUST, {ACCEPTED, INFO, ACCEPTED},
         ORVAUTH_STATUS_SUCCESS, true, false},
        {"join started, keytab refused", false, joinStarted, CHECK_TRUST, {REFUSED}, ORVAUTH_STATUS_FILE_NOT_FOUND,
         false, false},
        {"join started, no answer", false, joinStarted, CHECK_TRUST, {NO_ANSWER}, ORVAUTH_STATUS_FILE_NOT_FOUND,
         false, true},
        {"leave started, load", true, leaveStarted, LOAD, {}, ORVAUTH_STATUS_SUCCESS, true, true},
        {"local leave started, load", true, localLeaveStarted, LOAD, {}, ORVAUTH_STATUS_SUCCESS, false, false},
        {"leave started, account kept", true, leaveStarted, CHECK_TRUST, {ACCEPTED, ACCEPTED}, ORVAUTH_STATUS_SUCCESS,
         true, false},
        {"leave started, account gone", true, leaveStarted, CHECK_TRUST, {REFUSED}, ORVAUTH_STATUS_FILE_NOT_FOUND,
         false, false},
        {"leave started, no answer", true, leaveStarted, JOIN, {NO_ANSWER}, ORVAUTH_STATUS_ALREADY_JOINED, true, true},
    };
    for (const auto& c : cases) {
        Reset(c.joined, c.journal);
        ScriptedAdcli adcli(c.script);
        Membership membership(adcli, {SSSD_CONF, "/bin/false", SANDBOX + "/no-service-manager", "sssd.service"},
                              KRB5_CONF);
        EXPECT_EQ(orvauth_plugin::Guarded([&] { c.operation(membership); }), c.status) << c.name;
        EXPECT_EQ(adcli.runs, c.script.size()) << c.name;
        const orvauth_plugin::StateFile state = LoadState();
        EXPECT_EQ(IsJoined(state), c.joinedAfter) << c.name;
        EXPECT_EQ(state.Value(keys::COMPUTER_NAME), c.joinedAfter ? "NODE01" : "") << c.name;
        EXPECT_EQ(state.Value(keys::PREFERRED_CONTROLLER), "dc1.corp.example.test") << c.name;
        EXPECT_EQ(KeytabComputerName(KeytabPath()), c.joinedAfter ? "NODE01" : "") << c.name;
        EXPECT_EQ(Principals(KeytabPath()).front(), NFS) << c.name;
        EXPECT_EQ(LoadIntent().Keys().empty(), !c.journalAfter) << c.name;
        EXPECT_EQ(FileExists(SSSD_CONF), c.joinedAfter) << c.name;  // the identity service follows
        EXPECT_EQ(FileExists(KRB5_CONF), c.joinedAfter) << c.name;  // and Kerberos
    }
}

// adclient.conf reaches every adcli run and SSSD; a malformed one stops a
// join before the directory hears of it.
TEST(Membership, SettingsFileReachesAdcliAndSssd)
{
    const std::string settings = SANDBOX + "/adclient.conf";
    Reset(false, "");
    orvauth_test::WriteFile(settings, "use_ldaps = yes\ndescription = Rack 4\n");
    ScriptedAdcli adcli({JOIN_DONE, DELETED});
    Membership membership(adcli, {SSSD_CONF, "/bin/false", SANDBOX + "/no-service-manager", "sssd.service"}, KRB5_CONF);
    EXPECT_EQ(orvauth_plugin::Guarded([&] { JOIN(membership); }), ORVAUTH_STATUS_SUCCESS);
    EXPECT_NE(orvauth_test::ReadFile(SSSD_CONF).find("\nad_use_ldaps = True\nad_enable_dns_sites = False\n"), std::string::npos);
    EXPECT_EQ(orvauth_plugin::Guarded([&] { LEAVE_DELETING(membership); }), ORVAUTH_STATUS_SUCCESS);
    ASSERT_EQ(adcli.seen.size(), 2u);
    EXPECT_EQ(std::count(adcli.seen[0].begin(), adcli.seen[0].end(), "--description=Rack 4"), 1);
    for (const auto& run : adcli.seen) {
        EXPECT_EQ(std::count(run.begin(), run.end(), "--use-ldaps"), 1) << run.front();
    }
    orvauth_test::WriteFile(settings, "use_ldaps = on\n");
    EXPECT_EQ(orvauth_plugin::Guarded([&] { JOIN(membership); }), ORVAUTH_STATUS_INVALID_PARAMETER);
    EXPECT_EQ(adcli.seen.size(), 2u);
    ::unlink(settings.c_str());
}

// What the directory is told of the host's system, from os-release(5).
TEST(Membership, OperatingSystemComesFromOsRelease)
{
    const struct {
        const char* file;
        const char* name;
        const char* version;
    } cases[] = {
        {"PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nNAME=\"Debian GNU/Linux\"\nVERSION_ID=\"12\"\n",
         "Debian GNU/Linux", "12"},
        {"NAME='Orvane Host'\nVERSION_ID=4.2\n", "Orvane Host", "4.2"},
        {"NAME=\"Say \\\"hi\\\"\"\n", "Say \"hi\"", ""},
        {"ID=debian\n", "", ""},
        {"NAME=\"two\tparts\"\n", "", ""},  // a control character: left to adcli's default
    };
    ::mkdir(SANDBOX.c_str(), 0700);
    const std::string file = SANDBOX + "/os-release";
    for (const auto& c : cases) {
        orvauth_test::WriteFile(file, c.file);
        const OperatingSystem system = ReadOsRelease(file);
        EXPECT_EQ(system.name, c.name) << c.file;
        EXPECT_EQ(system.version, c.version) << c.file;
    }
    EXPECT_EQ(ReadOsRelease(SANDBOX + "/absent").name, "");
}

// The shell directory users get when the directory names none: useradd's.
TEST(Membership, DefaultShellIsUseraddsElseItsBuiltInOne)
{
    const struct {
        const char* defaults;
        const char* shell;
    } cases[] = {
        {"SHELL=/bin/bash\n", "/bin/bash"},
        {"# SHELL=/bin/zsh\nGROUP=100\n", "/bin/sh"},
        {"  SHELL=\"/usr/bin/fish\"\n", "/usr/bin/fish"},
        {"SHELL=bash\n", "/bin/sh"},  // not a path
    };
    ::mkdir(SANDBOX.c_str(), 0700);
    const std::string file = SANDBOX + "/useradd";
    for (const auto& c : cases) {
        orvauth_test::WriteFile(file, c.defaults);
        EXPECT_EQ(DefaultUserShell(file), c.shell) << c.defaults;
    }
    EXPECT_EQ(DefaultUserShell(SANDBOX + "/absent"), "/bin/sh");
}

// A leave takes the host's entries (every key version) out of a keytab
// shared with other services' keys, which stay in their order; a keytab
// left empty goes.
TEST(Membership, LeaveRemovesOnlyTheHostsKeys)
{
    const std::vector<std::string> host = {
        "NODE01$@CORP.EXAMPLE.TEST 2", "host/NODE01@CORP.EXAMPLE.TEST 2", "host/node01.corp.example.test@CORP.EXAMPLE.TEST 3",
        "RestrictedKrbHost/NODE01@CORP.EXAMPLE.TEST 2", "RestrictedKrbHost/node01.corp.example.test@CORP.EXAMPLE.TEST 3"};
    const std::vector<std::string> others = {
        "nfs/node01.corp.example.test@CORP.EXAMPLE.TEST 1", "HTTP/node01.corp.example.test@CORP.EXAMPLE.TEST 4",
        "host/node01.corp.example.test@OTHER.TEST 2", "NODE02$@CORP.EXAMPLE.TEST 1", "host/node02@CORP.EXAMPLE.TEST 1"};
    const struct {
        const char* name;
        std::vector<std::string> before, after;
        HostPrincipals principals;
    } cases[] = {
        {"mixed", {others[0], host[0], host[1], others[1], host[2], host[3], others[2], host[4], others[3], others[4]},
         others, {"CORP.EXAMPLE.TEST", "NODE01", "node01.corp.example.test"}},
        {"the host's only", host, {""}, {"CORP.EXAMPLE.TEST", "node01", "NODE01.corp.example.test"}},
        {"none of the host's", others, others, {"CORP.EXAMPLE.TEST", "NODE01", "node01.corp.example.test"}},
        {"computer name unknown", host, host, {"CORP.EXAMPLE.TEST", "", "node01.corp.example.test"}},
        {"no keytab", {}, {""}, {"CORP.EXAMPLE.TEST", "NODE01", "node01.corp.example.test"}},
    };
    ::mkdir(SANDBOX.c_str(), 0700);
    const std::string keytab = SANDBOX + "/shared.keytab";
    for (const auto& c : cases) {
        ::unlink(keytab.c_str());
        for (const std::string& entry : c.before) {
            const auto space = entry.find(' ');
            WriteKeytab(keytab, entry.substr(0, space).c_str(), std::stoi(entry.substr(space + 1)));
        }
        RemoveHostKeys(keytab, c.principals);
        EXPECT_EQ(Principals(keytab, true), c.after) << c.name;
        EXPECT_FALSE(FileExists(StagedKeytabPath(keytab))) << c.name;
        struct stat info {};
        EXPECT_TRUE(::stat(keytab.c_str(), &info) != 0 || (info.st_mode & 0777) == 0600) << c.name;
    }
}

// The join's Kerberos block fills the gaps of what the administrator wrote
// and goes again byte for byte, whatever the file looked like.
TEST(Membership, KerberosSettingsAreAddedAndGivenBack)
{
    const KerberosRealm realm{"CORP.EXAMPLE.TEST", "corp.example.test", "/etc/krb5.keytab", true};
    const struct {
        const char* name;
        std::string file;
        const char* adminsRealm;
    } cases[] = {
        {"no file", "", ""},
        {"stock", "[libdefaults]\n\tdefault_realm = CORP.EXAMPLE.TEST\n", "CORP.EXAMPLE.TEST"},
        {"another realm, no final line break", "[realms]\nX = {\n}\n[libdefaults]\n default_realm=OTHER.TEST", "OTHER.TEST"},
        {"realm outside libdefaults", "[realms]\ndefault_realm = X\n", ""},
    };
    for (const auto& c : cases) {
        const std::string joined = WithRealm(c.file, realm);
        EXPECT_EQ(joined.compare(0, c.file.size(), c.file), 0) << c.name;  // appended after the administrator's
        EXPECT_NE(joined.find("\n\tdefault_realm = CORP.EXAMPLE.TEST\n\tdns_lookup_kdc = true\n\trdns = false\n"),
                  std::string::npos) << c.name;
        EXPECT_NE(joined.find("\nincludedir /var/lib/sss/pubconf/krb5.include.d/\n[libdefaults]\n"), std::string::npos)
            << c.name;
        EXPECT_EQ(joined.find("default_keytab_name"), std::string::npos) << c.name;
        EXPECT_EQ(WithRealm(joined, realm), joined) << c.name;  // a second join replaces its block
        EXPECT_EQ(WithoutRealm(joined), c.file) << c.name;
        EXPECT_EQ(AdministratorsDefaultRealm(joined), c.adminsRealm) << c.name;
    }
    // A keytab moved by the build is named; a missing include directory is not included.
    const std::string moved = WithRealm("", {"R.TEST", "r.test", "/srv/host.keytab", false});
    EXPECT_NE(moved.find("\tdefault_keytab_name = FILE:/srv/host.keytab\n"), std::string::npos);
    EXPECT_EQ(moved.find("includedir"), std::string::npos);
}

}  // namespace
