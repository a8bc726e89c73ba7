// Joining through an authentication proxy, with the scriptable proxy and
// directory plug-ins, a scripted host name and a real configuration store:
// the refusals before anything is created, the verification option and the
// thumbprint sources, what travels from the proxy to the directory, the
// record, and the rollback. Also the proxy's domain query.
#include "JORVSandbox.h"

#include <orvane/authentication/ActiveDirectoryConfigStore.h>
#include <orvane/authentication/Exceptions.h>

#include <syslog.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <typeinfo>

using namespace orvane::authentication;
using namespace jorv_test;
using membership_test::ExpectRefused;
using membership_test::Record;
using membership_test::Resolver;
using orvauth_test::LoggedLines;
using orvauth_test::PluginPath;
namespace Settings = OrvPlatform::Settings;

namespace {

const char OU[] = "OU=Hosts,DC=corp,DC=example";
const char STORED_THUMBPRINT[] = "0A:0B:0C:0D:0E:0F:10:20:30:40:50:60:70:80:90:A0:B0:C0:D0:E0";
const char SID[] = "S-1-5-21-1004336348-1177238915-682003330";
const std::string OPTION_INVALID = "The VerifyJORVCertificate option is invalid: ";
const std::string OPTION_UNAVAILABLE =
    OPTION_INVALID + "Unable to get advanced option UserVars.ActiveDirectoryVerifyJORVCertificate";
const std::string OPTION_OUT_OF_RANGE =
    OPTION_INVALID + "Invalid value for UserVars.ActiveDirectoryVerifyJORVCertificate";

class JORVJoin : public JORVSandbox {
protected:
    // Most joins verify against a certificate already imported.
    JORVJoin() { ActiveDirectoryConfigStore().StoreAuthProxyCertInfo(STORED_THUMBPRINT, "PEM"); }

    void ForgetCertificate()
    {
        QelConfigStore::ConfigStore::GetStore(QelConfigStore::sGlobalNamespace)
            ->RemoveObject(ActiveDirectoryConfigStore::AUTH_PROXY_CERT_CSO_ID);
    }

    std::function<void()> Join(const std::string& server = PROXY_ADDRESS, bool skipHostNameCheck = false)
    {
        return [this, server, skipHostNameCheck] { store->JoinDomainWithJORV(server, OU, skipHostNameCheck); };
    }

    unsigned DirectoryCalls(int slot) { return plugin.Read().calls[slot]; }

    // The directory plug-in's own attempts are logged too; these are ours.
    static std::vector<orvauth_test::LogLine> Errors()
    {
        std::vector<orvauth_test::LogLine> errors = LoggedLines();
        auto notError = [](const orvauth_test::LogLine& line) { return line.priority != LOG_ERR; };
        errors.erase(std::remove_if(errors.begin(), errors.end(), notError), errors.end());
        return errors;
    }

    void ExpectNothingCreated()
    {
        EXPECT_STREQ("", proxy->callLog);
        EXPECT_EQ(0u, DirectoryCalls(SCRIPTABLE_SLOT_JOIN_DOMAIN_WITH_MACHINE_ACCOUNT));
        EXPECT_TRUE(DomainRecord().empty());
    }

    // Every string the proxy handed out came back; every out pointer arrived cleared.
    void TearDown() override
    {
        EXPECT_EQ(0, proxy->outstanding);
        EXPECT_EQ(0u, proxy->presetViolations);
    }
};

TEST_F(JORVJoin, CarriesTheProxysAnswersToTheDirectoryAndRecordsTheMembership)
{
    store->JoinDomainWithJORV(PROXY_ADDRESS, OU, false);

    // One question for the host-name check, the account, then three more.
    EXPECT_STREQ("info create info info info ", proxy->callLog);
    EXPECT_STREQ("node01.corp.example", proxy->lastCreate.hostName.text);
    EXPECT_STREQ(OU, proxy->lastCreate.container.text);
    EXPECT_STREQ(PROXY_ADDRESS, proxy->lastCreate.serverAddress.text);
    EXPECT_EQ(1, proxy->lastCreate.verifyCertificate);
    EXPECT_STREQ(STORED_THUMBPRINT, proxy->lastCreate.thumbprint.text);

    const ScriptablePluginControl directory = plugin.Read();
    EXPECT_EQ(1u, directory.calls[SCRIPTABLE_SLOT_JOIN_DOMAIN_WITH_MACHINE_ACCOUNT]);
    // Both records, member by member in their order.
    EXPECT_NE(std::string::npos, std::string(directory.log)
                                     .find("JoinDomainWithMachineAccount(, CORP, corp.example, " + std::string(SID) +
                                           ", node01, corp.example, , created-value-1, created-value-2)\n"));

    EXPECT_EQ(
        (Record{{"domain_name", "corp.example"}, {"organizational_unit", OU}, {"auth_proxy_address", PROXY_ADDRESS}}),
        DomainRecord());
    EXPECT_EQ(HostsWith("node01.corp.example", "node01"), orvauth_test::ReadFile(HostsPath()));
    EXPECT_EQ(0u, directory.calls[SCRIPTABLE_SLOT_PART_DOMAIN]);
    EXPECT_TRUE(Errors().empty());
}

TEST_F(JORVJoin, SkippingTheHostNameCheckStillResolvesItAndAnEmptyUnitLetsTheProxyChoose)
{
    membership_test::SetHost("node01.corp.example", "node01.other.example");
    store->JoinDomainWithJORV(PROXY_ADDRESS, "", true);

    EXPECT_STREQ("create info info info ", proxy->callLog);
    EXPECT_EQ(std::vector<std::string>{"node01.corp.example"}, Resolver().reentrantLookups);
    EXPECT_STREQ("node01.other.example", proxy->lastCreate.hostName.text);
    EXPECT_NE(std::string::npos, plugin.Log().find(", node01, corp.example, , "));
    ExpectHostFilesUnchanged();
    EXPECT_TRUE(proxy->lastCreate.container.isNull);
    EXPECT_EQ((Record{{"domain_name", "corp.example"}, {"auth_proxy_address", PROXY_ADDRESS}}), DomainRecord());
}

TEST_F(JORVJoin, TheThumbprintComesFromTheStoreThatKeepsTheMembership)
{
    struct Case {
        bool configurationStore;
        int option;
        const char* server;
        const char* thumbprint;  // what the proxy must receive
    };
    const Case cases[] = {
        {true, 1, PROXY_ADDRESS, STORED_THUMBPRINT},
        {true, 0, PROXY_ADDRESS, ""},  // nothing fetched, jorvservers.conf not consulted
        {false, 1, PROXY_ADDRESS, LISTED_THUMBPRINT},
        {false, 0, PROXY_ADDRESS, LISTED_THUMBPRINT},
        {false, 1, OTHER_PROXY_ADDRESS, ""},  // not listed: trusts nothing
    };
    membership_test::RecordingConfigStore& recording = InstallRecordingStore();
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.configurationStore ? "store" : "file") + ", option " + std::to_string(c.option) +
                     ", " + c.server);
        proxy.Reset();
        recording.getCalls = recording.setCalls = 0;
        UseConfigurationStore(c.configurationStore);
        Settings::SetAdvancedIntegerOption(VERIFY_OPTION, c.option);
        store->JoinDomainWithJORV(c.server, OU, true);
        EXPECT_STREQ("create info info info ", proxy->callLog);
        EXPECT_EQ(c.option, proxy->lastCreate.verifyCertificate);
        EXPECT_STREQ(c.thumbprint, proxy->lastCreate.thumbprint.text);
        EXPECT_EQ(c.option, proxy->lastDomainInfo.verifyCertificate);
        EXPECT_STREQ(c.thumbprint, proxy->lastDomainInfo.thumbprint.text);
        // The store is read for a thumbprint only to verify, and written only when it keeps the membership.
        EXPECT_EQ(c.configurationStore && c.option == 1 ? 1u : 0u, recording.getCalls);
        EXPECT_EQ(c.configurationStore ? 1u : 0u, recording.setCalls);
    }
}

TEST_F(JORVJoin, EachEarlyRefusalHappensBeforeAnythingIsCreated)
{
    const std::string refusedProvider = "The specified JORVProxy provider ";
    auto provider = [](const char* text) { return [=] { orvauth_test::WriteFile(ProviderPath(), text); }; };
    // The option is judged before the host name is read: an unreadable one must not be what ends these.
    auto option = [](std::function<void()> set) {
        return [=] {
            set();
            Resolver().hostName.clear();
        };
    };
    const std::type_info& optionRefused = typeid(InvalidVerifyJORVCertificateOptionException);
    struct Case {
        const char* what;
        std::function<void()> arrange;
        const char* server;
        bool skipHostNameCheck;
        const std::type_info& type;
        std::string message;  // empty: the class is enough
    };
    const Case cases[] = {
        {"host name as server address", [] {}, "proxy.corp.example", false, typeid(InvalidIPAddressException),
         "The IP Address is invalid: IPv4 address 'proxy.corp.example' cannot be parsed as an IP address"},
        {"option 2", option([] { Settings::SetAdvancedIntegerOption(VERIFY_OPTION, 2); }), PROXY_ADDRESS, false,
         optionRefused, OPTION_OUT_OF_RANGE},
        {"option -1", option([] { Settings::SetAdvancedIntegerOption(VERIFY_OPTION, -1); }), PROXY_ADDRESS, false,
         optionRefused, OPTION_OUT_OF_RANGE},
        {"option 2^32 + 1", option([] { Settings::SetAdvancedIntegerOption(VERIFY_OPTION, 0x100000001LL); }),
         PROXY_ADDRESS, false, optionRefused, OPTION_OUT_OF_RANGE},
        {"option missing", option([] { Settings::RemoveAdvancedOption(VERIFY_OPTION); }), PROXY_ADDRESS, false,
         optionRefused, OPTION_UNAVAILABLE},
        {"option as text", option([] { Settings::SetAdvancedStringOption(VERIFY_OPTION, "1"); }), PROXY_ADDRESS,
         false, optionRefused, OPTION_UNAVAILABLE},
        {"only a sibling option in the branch",
         option([] {
             Settings::RemoveAdvancedOption(VERIFY_OPTION);
             Settings::SetAdvancedIntegerOption("UserVars.SomethingElse", 1);
         }),
         PROXY_ADDRESS, false, optionRefused, OPTION_UNAVAILABLE},
        {"unusable option database",
         option([this] { Settings::SetConfigStorePath(dir.File("no-such-directory/configstore.db")); }), PROXY_ADDRESS,
         false, optionRefused, OPTION_UNAVAILABLE},
        {"unresolvable host name, check skipped", [] { Resolver().resolutions.clear(); }, PROXY_ADDRESS, true,
         typeid(InvalidHostNameException), "The current hostname is invalid: hostname cannot be resolved"},
        {"no jorvprovider.conf", [] { std::remove(ProviderPath().c_str()); }, PROXY_ADDRESS, false,
         typeid(InvalidJORVProxyProviderException), refusedProvider + "'(none installed)' is invalid"},
        {"empty provider", provider("provider = \"\"\n"), PROXY_ADDRESS, false,
         typeid(InvalidJORVProxyProviderException), refusedProvider + "'(unset)' is invalid"},
        {"no provider key", provider("plugin = \"jorvproxy\"\n"), PROXY_ADDRESS, false, typeid(InvalidKeyException),
         ""},
        {"malformed jorvprovider.conf", provider("provider\n"), PROXY_ADDRESS, false, typeid(ConfigurationError), ""},
        {"provider not installed", provider("provider = \"jorvproxy_absent\"\n"), PROXY_ADDRESS, false,
         typeid(InvalidJORVProxyProviderException), refusedProvider + "'jorvproxy_absent' is invalid"},
        {"plug-in without entry 2", [this] { proxy.Table().CreateMachineAccount = nullptr; }, PROXY_ADDRESS, false,
         typeid(InvalidJORVProxyProviderException), refusedProvider + "'jorvproxy' is invalid: "},
        {"no jorvservers.conf",
         [] {
             UseConfigurationStore(false);
             std::remove(ServersPath().c_str());
         },
         PROXY_ADDRESS, false, typeid(InvalidThumbprintStoreException),
         "The specified thumbprint store '" + ServersPath() + "' is invalid"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.arrange();
        ExpectRefused(Join(c.server, c.skipHostNameCheck), c.type, c.message);
        ExpectNothingCreated();
        // Back to a host that would join.
        proxy.Reset();
        UseConfigurationStore(true);
        Settings::SetConfigStorePath(DatabasePath());
        Settings::SetAdvancedIntegerOption(VERIFY_OPTION, 1);
        membership_test::SetHost("node01", "node01.corp.example");
        provider("provider = \"jorvproxy\"\n")();
        orvauth_test::WriteFile(ServersPath(), ServersFileBefore());
    }
    ExpectHostFilesUnchanged();
    EXPECT_TRUE(LoggedLines().empty());
}

TEST_F(JORVJoin, VerifyingWithoutAStoredCertificateIsRefusedAndLogged)
{
    ForgetCertificate();
    ExpectRefused(Join(), typeid(InvalidThumbprintStoreException),
                  "The specified thumbprint store 'auth_proxy_certificate' is invalid");
    EXPECT_EQ(membership_test::OneLine(
                  LOG_ERR, "Unable to fetch thumbprint from Config Store: Failed to get the requested object"),
              LoggedLines());
    ExpectNothingCreated();
}

TEST_F(JORVJoin, LaterFailuresPassUnchangedAndRecordNothing)
{
    UseConfigurationStore(false);
    proxy->domainInfoStatus = JORV_PROXY_STATUS_UNTRUSTED_CERTIFICATE;
    ExpectRefused(Join(OTHER_PROXY_ADDRESS), typeid(InvalidJORVCertificateException),
                  "The JORV server's certificate cannot be verified.");
    EXPECT_STREQ("info ", proxy->callLog);

    UseConfigurationStore(true);
    proxy.Reset();
    proxy->createStatus = 1225;
    ExpectRefused(Join(PROXY_ADDRESS, true), typeid(ConnectionRefusedException), "");
    EXPECT_STREQ("create ", proxy->callLog);
    EXPECT_EQ(0u, DirectoryCalls(SCRIPTABLE_SLOT_JOIN_DOMAIN_WITH_MACHINE_ACCOUNT));

    proxy->createStatus = 0;
    plugin->status[SCRIPTABLE_SLOT_JOIN_DOMAIN_WITH_MACHINE_ACCOUNT] = 1355;
    ExpectRefused(Join(PROXY_ADDRESS, true), typeid(NoSuchDomainException), "");

    membership_test::SetHost("node01", "web01.corp.example");
    proxy.Reset();
    ExpectRefused(Join(), typeid(InvalidHostNameException),
                  "The current hostname is invalid: shortname does not match FQDN");
    EXPECT_STREQ("info ", proxy->callLog);

    EXPECT_TRUE(DomainRecord().empty());
    EXPECT_EQ(0u, DirectoryCalls(SCRIPTABLE_SLOT_PART_DOMAIN));
}

TEST_F(JORVJoin, AMembershipThatCannotBeRecordedIsUndone)
{
    InstallRecordingStore().setFailure = membership_test::StoreFailure::ConfigStore;
    ExpectRefused(Join(PROXY_ADDRESS, true), typeid(QelConfigStore::ConfigStoreException), "database is locked");
    const ScriptablePluginControl directory = plugin.Read();
    EXPECT_EQ(1u, directory.calls[SCRIPTABLE_SLOT_JOIN_DOMAIN_WITH_MACHINE_ACCOUNT]);
    EXPECT_EQ(1u, directory.calls[SCRIPTABLE_SLOT_PART_DOMAIN]);
    EXPECT_NE(std::string::npos, std::string(directory.log).find("PartDomain((null))\n"));
    EXPECT_EQ(membership_test::OneLine(
                  LOG_ERR, "Failed to store domain details to Config Store: database is locked.Leaving Domain..."),
              Errors());

    // A failing leave replaces the store's exception.
    plugin->status[SCRIPTABLE_SLOT_PART_DOMAIN] = 1355;
    ExpectRefused(Join(PROXY_ADDRESS, true), typeid(NoSuchDomainException), "");
    EXPECT_EQ(2u, DirectoryCalls(SCRIPTABLE_SLOT_PART_DOMAIN));
    EXPECT_TRUE(DomainRecord().empty());
}

TEST_F(JORVJoin, DomainQueryNeverVerifiesNeedsNoCertificateAndRefusesLikeTheJoin)
{
    ForgetCertificate();
    EXPECT_EQ("corp.example", store->GetDomainForJORVService(PROXY_ADDRESS));
    EXPECT_STREQ("info ", proxy->callLog);
    EXPECT_EQ(0, proxy->lastDomainInfo.verifyCertificate);
    EXPECT_STREQ("", proxy->lastDomainInfo.thumbprint.text);
    EXPECT_STREQ(PROXY_ADDRESS, proxy->lastDomainInfo.serverAddress.text);
    proxy->domainInfoStatus = 1229;
    EXPECT_THROW(store->GetDomainForJORVService(PROXY_ADDRESS), ConnectionInvalidException);

    orvauth_test::WriteFile(ProviderPath(), "provider = \"jorvproxy_base\"\n");
    EXPECT_EQ("corp.example", store->GetDomainForJORVService(PROXY_ADDRESS));
    EXPECT_FALSE(IsLoaded(PluginPath("jorvproxy_base", false)));

    auto query = [this](const char* server) { return [=] { store->GetDomainForJORVService(server); }; };
    ExpectRefused(query("192.0.2"), typeid(InvalidIPAddressException),
                  "The IP Address is invalid: IPv4 address '192.0.2' cannot be parsed as an IP address");
    orvauth_test::WriteFile(ProviderPath(), "provider = \"jorvproxy_absent\"\n");
    ExpectRefused(query(PROXY_ADDRESS), typeid(InvalidJORVProxyProviderException),
                  "The specified JORVProxy provider 'jorvproxy_absent' is invalid");
    std::remove(ProviderPath().c_str());
    ExpectRefused(query(PROXY_ADDRESS), typeid(InvalidJORVProxyProviderException),
                  "The specified JORVProxy provider '(none installed)' is invalid");
    EXPECT_TRUE(LoggedLines().empty());
}

}  // namespace
