// The classifier on adcli's own words: every message below was printed by
// adcli (Debian 12) against a Samba AD DC, apart from the clock-skew text,
// which is libkrb5's message for that error, and the time-outs.
#include "adclient/FailureClassifier.h"
#include "common/Files.h"

#include <gtest/gtest.h>

#include <cstdlib>

using adclient::AdcliCommand;
using adclient::ClassifyAdcliFailure;
using adclient::ClassifyAdcliResult;

namespace {

struct Case {
    const char* name;
    AdcliCommand command;
    int exitStatus;
    const char* diagnostics;
    std::uint32_t status;
    const char* reason = "";  // the start of the reason the operator reads
};

const char* const PREFIX = "adcli: couldn't connect to ad.example.test domain: ";

const Case CASES[] = {
    {"Success", AdcliCommand::Join, 0, "", 0},
    {"WrongPassword", AdcliCommand::Join, 3, "Couldn't authenticate as: Administrator@AD.EXAMPLE.TEST: Preauthentication failed", 86},
    {"UnknownUser", AdcliCommand::Join, 3, "Couldn't authenticate as: nosuch@AD.EXAMPLE.TEST: Client 'nosuch@AD.EXAMPLE.TEST' not found in Kerberos database", 1317},
    {"DisabledOrExpiredAccount", AdcliCommand::Join, 3, "Couldn't authenticate as: bob@AD.EXAMPLE.TEST: Client's credentials have been revoked", 1331},
    {"PasswordMustChange", AdcliCommand::Join, 3, "Couldn't get kerberos ticket for: carol@AD.EXAMPLE.TEST: New password cannot be zero length", 1330},
    {"ClockSkew", AdcliCommand::Join, 3, "Couldn't authenticate as: Administrator@AD.EXAMPLE.TEST: Clock skew too great", 1398},
    {"NoRightsInOU", AdcliCommand::Join, 6, "adcli: joining domain ad.example.test failed: Insufficient permissions to modify computer account: CN=N2,OU=Servers,DC=ad,DC=example,DC=test: acl: unable to get access to CN=N2,OU=Servers,DC=ad,DC=example,DC=test", 5,
     "Insufficient permissions to modify computer account CN=N2,OU=Servers,DC=ad,DC=example,DC=test: the joining account lacks the right \"Create computer objects\" on OU=Servers,DC=ad,DC=example,DC=test. Ask"},
    {"NoRightToResetAFoundAccount", AdcliCommand::Join, 5, " * Found computer account for NODE01$ at: CN=NODE01,OU=Other,DC=ad,DC=example,DC=test\n"
     "adcli: joining domain ad.example.test failed: Cannot set computer password: Access denied: Not permitted to change password", 5,
     "Not permitted to change password: the joining account lacks the right \"Reset password\" on CN=NODE01,OU=Other,DC=ad,DC=example,DC=test. Ask"},
    {"NoRightsToDelete", AdcliCommand::Delete, 6, "adcli: deleting node01 in ad.example.test domain failed: Insufficient permissions to delete computer account: CN=NODE01,CN=Computers,DC=ad,DC=example,DC=test: dsdb_access: Access check failed on CN=Computers,DC=ad,DC=example,DC=test", 5,
     "Insufficient permissions to delete computer account CN=NODE01,CN=Computers,DC=ad,DC=example,DC=test: the account lacks the right \"Delete computer objects\" on CN=Computers,DC=ad,DC=example,DC=test"},
    {"DeleteOfAnAccountAlreadyGone", AdcliCommand::Delete, 5, "adcli: deleting node01 in ad.example.test domain failed: No computer account for node01$ exists", 0},
    {"AccountElsewhere", AdcliCommand::Join, 5, "adcli: joining domain ad.example.test failed: The computer account NODE01 already exists, but is not in the desired organizational unit.", 2691,
     "The computer account NODE01 already exists, but is not in the desired organizational unit."},
    {"AccountElsewhereVerbose", AdcliCommand::Join, 5, " * Found computer account for NODE01$ at: CN=NODE01,OU=Elsewhere,DC=ad,DC=example,DC=test\n"
     " ! The computer account NODE01 already exists, but is not in the desired organizational unit.\n"
     "adcli: joining domain ad.example.test failed: The computer account NODE01 already exists, but is not in the desired organizational unit.", 2691,
     "The computer account CN=NODE01,OU=Elsewhere,DC=ad,DC=example,DC=test already exists in another container than the one "
     "asked for (the domain's default container for computers). Either move the account there in the directory and join "
     "again, or join into its own container: --ou \"OU=Elsewhere\""},
    {"AesOnlyController", AdcliCommand::Join, 3, "Couldn't authenticate as: Administrator@AD.EXAMPLE.TEST: KDC has no support for encryption type", 87,
     "KDC has no support for encryption type: this host and the domain controller share no Kerberos encryption type"},
    {"NoSuchOU", AdcliCommand::Join, 5, "adcli: joining domain ad.example.test failed: The organizational unit does not exist: OU=Nope,DC=ad,DC=example,DC=test", 87,
     "The organizational unit does not exist: OU=Nope,DC=ad,DC=example,DC=test"},
    {"UnknownDomain", AdcliCommand::Join, 5, "adcli: couldn't connect to nosuch.example.test domain: Couldn't find usable domain controller to connect to", 1355},
    {"ControllerRefuses", AdcliCommand::Join, 4, "Couldn't connect to host: 127.0.0.55: Connection refused", 1355},
    {"ControllerSilent", AdcliCommand::TestJoin, 4, "Couldn't connect to host: 127.0.0.10: Connection timed out", 10060},
    {"InfoNoDiscovery", AdcliCommand::Info, 1, "adcli: couldn't discover domain: ad.example.test", 1355},
    {"KilledAfterTheBound", AdcliCommand::Info, -1, "", 10060},
    {"PresetAccountNotThereYet", AdcliCommand::MachineJoin, 3, "Couldn't authenticate as machine account: N5: Client 'N5$@AD.EXAMPLE.TEST' not found in Kerberos database", 1326},
    {"OneTimePasswordRefused", AdcliCommand::MachineJoin, 3, "Couldn't authenticate as machine account: N5: Preauthentication failed", 86,
     "The domain controller refused the one-time password"},
    {"NoPresetAccount", AdcliCommand::PresetJoin, 3, "Couldn't authenticate as machine account: NODE01: Client 'NODE01$@AD.EXAMPLE.TEST' not found in Kerberos database", 1787,
     "Client 'NODE01$@AD.EXAMPLE.TEST' not found in Kerberos database: the domain has no computer account"},
    {"PresetOneTimePasswordRefused", AdcliCommand::PresetJoin, 3, "Couldn't authenticate as machine account: NODE01: Preauthentication failed", 86,
     "Preauthentication failed: the domain controller refused the one-time password of this host's preset computer account"},
    {"AccountGoneAtTestJoin", AdcliCommand::TestJoin, 3, "Couldn't authenticate as machine account: N3: Client 'N3$@AD.EXAMPLE.TEST' not found in Kerberos database", 1317},
    {"KeytabUnwritable", AdcliCommand::Join, 5, "adcli: joining domain ad.example.test failed: Couldn't add keytab entries: /x/krb5.keytab: Key table file '/x/krb5.keytab' not found", 1359},
    {"Unrecognised", AdcliCommand::Join, 2, "adcli: unknown option: --frobnicate", 1359},
};

class ClassifierTest : public ::testing::TestWithParam<Case> {};

TEST_P(ClassifierTest, MapsTheMessageOntoItsStatus)
{
    const Case& c = GetParam();
    const std::string text = c.exitStatus == 3 || c.exitStatus == 4 ? std::string(PREFIX) + c.diagnostics : c.diagnostics;
    const adclient::AdcliFailure failure = ClassifyAdcliFailure(c.command, c.exitStatus, c.exitStatus == -1, text + "\n");
    EXPECT_EQ(failure.status, c.status);
    EXPECT_EQ(0u, failure.reason.rfind(c.reason, 0)) << failure.reason;
    EXPECT_EQ(*c.reason == '\0', failure.reason.empty()) << failure.reason;
}

INSTANTIATE_TEST_SUITE_P(AdcliMessages, ClassifierTest, ::testing::ValuesIn(CASES),
                         [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

// A wrong administrator password must never become the status the library
// retries eight times, 30 seconds apart.
TEST(ClassifierRetries, OnlyAMachineJoinAsksForARetry)
{
    for (const Case& c : CASES) {
        if (c.command != AdcliCommand::MachineJoin) {
            EXPECT_NE(ClassifyAdcliResult(c.command, c.exitStatus, false, c.diagnostics), 1326u) << c.name;
        }
    }
}

}  // namespace

// The refusal names the types this host permits, as its krb5.conf says.
TEST(ClassifierEncryptionTypes, NamesWhatThisHostPermits)
{
    orvauth_test::TempDir directory;
    orvauth_test::WriteFile(directory.File("krb5.conf"), "[libdefaults]\n  permitted_enctypes = aes128-cts-hmac-sha1-96\n");
    ::setenv("KRB5_CONFIG", directory.File("krb5.conf").c_str(), 1);
    const std::string reason = ClassifyAdcliFailure(AdcliCommand::Join, 3, false, "KDC has no support for encryption type").reason;
    ::unsetenv("KRB5_CONFIG");
    EXPECT_NE(reason.find("Kerberos policy). This host permits: aes128-cts-hmac-sha1-96"), std::string::npos) << reason;
}
