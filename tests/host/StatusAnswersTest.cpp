// Status against silent controllers: kept answers stand in, marked with their time, and a hung
// plug-in holds status no longer than the time-out plus a second.
#include "StatusReport.h"
#include "ThreadSeam.h"
#include "common/Files.h"
#include "fixtures/ScriptablePluginLoader.h"

#include <orvane/authentication/PluginStatus.h>

#include <chrono>
#include <cstdio>
#include <gtest/gtest.h>
#include <sstream>

using namespace orvane::authentication;
using namespace orvauth_test;

namespace {

const int HELD[] = {SCRIPTABLE_SLOT_GET_ACTIVE_DOMAIN, SCRIPTABLE_SLOT_GET_TRUSTED_DOMAINS,
                    SCRIPTABLE_SLOT_GET_DOMAIN_TRUST_STATE};

TEST(StatusAnswersTest, SilentControllersShowTheLastCompleteAnswersOfTheSameDomainWithTheirTime)
{
    ResetConfigDir();
    WriteFile(ConfigFile("provider.conf"), "provider = \"scriptable\"\n");
    ScriptablePlugin plugin{"scriptable"};
    TempDir state;
    const std::string path = state.File("answers/directory-answers.json");
    // trust state, status of the LDAP answers (machine account, trusted domains), domain, hung
    auto gather = [&](TrustState trust, int ldap, const char* domain, bool hang) {
        plugin.Reset();
        plugin->answer[SCRIPTABLE_SLOT_GET_ACTIVE_DOMAIN] = domain;
        plugin->answer[SCRIPTABLE_SLOT_GET_MACHINE_ACCOUNT_DN] = "CN=HV01,DC=corp,DC=example";
        plugin->answer[SCRIPTABLE_SLOT_GET_TRUSTED_DOMAINS] = "emea.corp.example/EMEA";
        plugin->status[SCRIPTABLE_SLOT_GET_MACHINE_ACCOUNT_DN] = plugin->status[SCRIPTABLE_SLOT_GET_TRUSTED_DOMAINS] = ldap;
        plugin->status[SCRIPTABLE_SLOT_GET_DOMAIN_TRUST_STATE] = trust;
        for (int slot : HELD) plugin.Hold(slot, hang);
        const auto start = std::chrono::steady_clock::now();
        // A new store with a 1-second time-out, as each run of the tool has.
        auto status = orvane::host::GatherDirectoryStatus(std::make_shared<ActiveDirectoryStore>(1), 1, path);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
        for (int slot : HELD) plugin.Hold(slot, false);
        EXPECT_TRUE(WaitForThreadsToEnd());
        std::string items;
        for (const std::string& item : status.cachedItems) items += item + ",";
        return std::make_pair(status, items + std::to_string(status.trustState.value) + " " +
                                          status.configuration.value.machineAccountDN);
    };
    const std::string corp = "corp.example/CORP", dn = "CN=HV01,DC=corp,DC=example";
    EXPECT_EQ(gather(ORVAUTH_TRUST_GOOD, 0, corp.c_str(), false).second, "1 " + dn);
    orvane::host::CachedDirectoryAnswers kept;
    ASSERT_TRUE(orvane::host::LoadDirectoryAnswers(path, kept));
    const std::string keptText = ReadFile(path);
    struct { TrustState trust; int ldap; std::string domain; bool hang, keep; std::string shown; } cases[] = {
        {ORVAUTH_TRUST_UNREACHABLE, 1311, corp, false, true, "machine_account,trusted_domains,trust_state,1 " + dn},
        {ORVAUTH_TRUST_UNREACHABLE, 1311, "x.example/X", false, true, "4 "},  // another domain now
        {0, 0, corp, true, true, "configuration,trusted_domains,trust_state,1 " + dn},
        {0, 0, corp, true, false, "2 "},
        {ORVAUTH_TRUST_BROKEN, 0, corp, false, true, "3 " + dn},  // an answer, kept in turn
    };
    for (const auto& c : cases) {
        c.keep ? WriteFile(path, keptText) : (void)std::remove(path.c_str());
        const auto status = gather(c.trust, c.ldap, c.domain.c_str(), c.hang);
        EXPECT_EQ(status.second, c.shown);
        EXPECT_EQ(status.first.cachedSince, status.first.cachedItems.empty() ? "" : kept.obtained);
    }
    ASSERT_TRUE(orvane::host::LoadDirectoryAnswers(path, kept));
    EXPECT_EQ(kept.trustState, static_cast<TrustState>(ORVAUTH_TRUST_BROKEN));

    orvane::host::StatusReport report;
    report.directory = gather(ORVAUTH_TRUST_UNREACHABLE, 1311, corp.c_str(), false).first;
    std::ostringstream text;
    orvauthctl::PrintStatusText(text, report, true);
    const std::string json = orvane::host::StatusJson(report);
    EXPECT_NE(text.str().find("(cached, from " + kept.obtained + "; the domain controller did not answer)"),
              std::string::npos) << text.str();
    EXPECT_NE(json.find("\"cached\":true,\"cached_since\":\"" + kept.obtained + "\""), std::string::npos);

    // The tool's route: the plug-in names no controller, so nothing is asked of the directory and the
    // screen is the kept answers'; the account and realm are the plug-in's own, its container the kept DN's.
    plugin.Reset();
    plugin->answer[SCRIPTABLE_SLOT_GET_ACTIVE_DOMAIN] = corp.c_str();
    plugin->answer[SCRIPTABLE_SLOT_GET_HOST_PRINCIPAL_FOR_DOMAIN] = "HV01$@CORP.EXAMPLE";
    plugin->status[SCRIPTABLE_SLOT_GET_ANY_DOMAIN_CONTROLLER] = 1311;
    WriteFile(path, keptText);
    ASSERT_TRUE(orvane::host::LoadDirectoryAnswers(path, kept));
    const orvane::host::HostFiles files{state.File("nsswitch.conf"), state.File("pam.d"), state.File("sssd.conf"),
                                        state.File("answers"), state.File("sudoers.d")};
    const auto start = std::chrono::steady_clock::now();
    report = orvane::host::GatherStatus(files);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    EXPECT_EQ(plugin->calls[SCRIPTABLE_SLOT_GET_DOMAIN_TRUST_STATE] + plugin->calls[SCRIPTABLE_SLOT_GET_MACHINE_ACCOUNT_DN], 0u);
    const orvane::host::StatusSummary& summary = report.summary;
    EXPECT_EQ(summary.domain + " " + summary.account + " " + summary.realm + " " + summary.container + " " + summary.trust,
              "corp.example HV01$ CORP.EXAMPLE DC=corp,DC=example good: the machine account logs in to the domain");
    EXPECT_EQ(summary.cachedSince, kept.obtained);
    EXPECT_TRUE(WaitForThreadsToEnd());  // the controller question's thread, before the plug-in goes
}

}  // namespace
