// Joining through an authentication proxy, with the scriptable proxy and
// directory plug-ins, a scripted host name and a real configuration store:
// the refusals before anything is created, the verification option and the
// thumbprint sources, what travels from the proxy to the directory, the
// record, the rollback and the host files. Also the proxy's domain query.
#include "JORVSandbox.h"

#include <orvane/authentication/ActiveDirectoryConfigStore.h>
#include <orvane/authentication/Exceptions.h>

#include <syslog.h>

#include <cstdio>

using namespace orvane::authentication;
using namespace jorv_test;
using orvauth_test::ExpectRefused;
using membership_test::Record;
using membership_test::Resolver;
using orvauth_test::LoggedLines;
namespace Settings = OrvPlatform::Settings;

namespace {

const char OU[] = "OU=Hosts,DC=corp,DC=example";
const char STORED_THUMBPRINT[] = "0A:0B:0C:0D:0E:0F:10:20:30:40:50:60:70:80:90:A0:B0:C0:D0:E0";
const std::string SID = "S-1-5-21-1004336348-1177238915-682003330";
const std::string OPTION_UNAVAILABLE =
    "The VerifyJORVCertificate option is invalid: Unable to get advanced option "
    "UserVars.ActiveDirectoryVerifyJORVCertificate";

// The proxy's log of one request and the releases of its answers.
std::string Info(int verify, const std::string& thumbprint, const std::string& server = PROXY_ADDRESS)
{
    return "info " + server + " " + std::to_string(verify) + " " + thumbprint + ";release CORP;release corp.example;" +
           "release " + SID + ";";
}
std::string Create(const std::string& host, const std::string& container, int verify, const std::string& thumbprint,
                   const std::string& server = PROXY_ADDRESS)
{
    return "create " + server + " " + host + " " + container + " " + std::to_string(verify) + " " + thumbprint +
           ";release created-value-1;release created-value-2;";
}

class JORVJoin : public JORVSandbox {
protected:
    // Most joins verify against a certificate already imported.
    JORVJoin() { ActiveDirectoryConfigStore().StoreAuthProxyCertInfo(STORED_THUMBPRINT, "PEM"); }

    std::function<void()> Join(const std::string& server = PROXY_ADDRESS, bool skipHostNameCheck = false)
    {
        return [=] { store->JoinDomainWithJORV(server, OU, skipHostNameCheck); };
    }
    static void ForgetCertificate()
    {
        QelConfigStore::ConfigStore::GetStore(QelConfigStore::sGlobalNamespace)
            ->RemoveObject(ActiveDirectoryConfigStore::AUTH_PROXY_CERT_CSO_ID);
    }
    void ExpectNothingCreated()
    {
        EXPECT_STREQ("", plugin->proxyLog);
        EXPECT_EQ(0u, plugin.Calls(SCRIPTABLE_SLOT_JOIN_DOMAIN_WITH_MACHINE_ACCOUNT));
        EXPECT_TRUE(DomainRecord().empty());
    }
    void TearDown() override
    {
        EXPECT_EQ(0, plugin->outstanding) << "strings not handed back";
        EXPECT_EQ(0u, plugin->presetViolations) << "out pointers not cleared before a call";
    }
};

TEST_F(JORVJoin, CarriesTheProxysAnswersToTheDirectoryAndRecordsTheMembership)
{
    Join()();
    // One question for the domain, one for the account.
    EXPECT_EQ(Info(1, STORED_THUMBPRINT) + Create("node01.corp.example", OU, 1, STORED_THUMBPRINT), plugin->proxyLog);

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
}

// A joined host never has the proxy reset its account: without a record
// (a join killed before storing it) the record is completed, with one the
// join is refused before an account is asked for.
TEST_F(JORVJoin, AHostThePlugInJoinedIsCompletedOrRefusedWithoutANewAccount)
{
    plugin->answer[SCRIPTABLE_SLOT_GET_ACTIVE_DOMAIN] = "corp.example/CORP";
    Join(PROXY_ADDRESS, true)();
    EXPECT_EQ((Record{{"domain_name", "corp.example"}, {"organizational_unit", OU}, {"auth_proxy_address", PROXY_ADDRESS}}),
              DomainRecord());
    EXPECT_THROW(Join(PROXY_ADDRESS, true)(), SetupAlreadyJoinedException);
    EXPECT_EQ(Info(1, STORED_THUMBPRINT) + Info(1, STORED_THUMBPRINT), plugin->proxyLog);
    EXPECT_EQ(0u, plugin.Calls(SCRIPTABLE_SLOT_JOIN_DOMAIN_WITH_MACHINE_ACCOUNT));
}

TEST_F(JORVJoin, SkippingTheHostNameCheckStillResolvesItAndAnEmptyUnitLetsTheProxyChoose)
{
    membership_test::SetHost("node01.corp.example", "node01.other.example");
    store->JoinDomainWithJORV(PROXY_ADDRESS, "", true);
    EXPECT_EQ(Info(1, STORED_THUMBPRINT) + Create("node01.other.example", "(null)", 1, STORED_THUMBPRINT),
              plugin->proxyLog);
    EXPECT_NE(std::string::npos, plugin.Log().find(", node01, corp.example, , "));
    ExpectHostFilesUnchanged();
    EXPECT_EQ((Record{{"domain_name", "corp.example"}, {"auth_proxy_address", PROXY_ADDRESS}}), DomainRecord());
}

// The proxy gets the DN of a path, which the record keeps as written; a
// unit that names nothing is refused before the proxy is asked.
TEST_F(JORVJoin, TheProxyGetsTheUnitAsADistinguishedName)
{
    ExpectRefused([&] { store->JoinDomainWithJORV(PROXY_ADDRESS, "Servers//Hosts", true); },
                  typeid(InvalidParameterException));
    ExpectNothingCreated();
    store->JoinDomainWithJORV(PROXY_ADDRESS, "Sales, Europe/Hosts", true);
    EXPECT_EQ(Info(1, STORED_THUMBPRINT) +
                  Create("node01.corp.example", "OU=Hosts,OU=Sales\\, Europe,DC=corp,DC=example", 1, STORED_THUMBPRINT),
              plugin->proxyLog);
    EXPECT_EQ("Sales, Europe/Hosts", DomainRecord()["organizational_unit"]);
}

TEST_F(JORVJoin, TheThumbprintComesFromTheStoreThatKeepsTheMembership)
{
    struct Case {
        bool configurationStore;
        int option;
        const char* server;
        const char* thumbprint;  // what the proxy must receive
    };
    // Rows without the store first: only with it is the membership recorded.
    for (const Case& c : {Case{false, 1, PROXY_ADDRESS, LISTED_THUMBPRINT},
                          Case{false, 0, PROXY_ADDRESS, LISTED_THUMBPRINT},
                          Case{false, 1, OTHER_PROXY_ADDRESS, ""},  // not listed: trusts nothing
                          Case{true, 1, PROXY_ADDRESS, STORED_THUMBPRINT},
                          Case{true, 0, PROXY_ADDRESS, ""}}) {  // nothing fetched, jorvservers.conf not consulted
        SCOPED_TRACE(std::to_string(c.configurationStore) + std::to_string(c.option) + c.server);
        if (c.configurationStore && c.option == 0) {
            ForgetCertificate();  // fetching it now would fail the join
        }
        plugin.Reset();
        UseConfigurationStore(c.configurationStore);
        Settings::SetAdvancedIntegerOption(VERIFY_OPTION, c.option);
        store->JoinDomainWithJORV(c.server, OU, true);
        EXPECT_EQ(Info(c.option, c.thumbprint, c.server) + Create("node01.corp.example", OU, c.option, c.thumbprint, c.server),
                  plugin->proxyLog);
        EXPECT_EQ(c.configurationStore, !DomainRecord().empty());
    }
}

TEST_F(JORVJoin, EachEarlyRefusalHappensBeforeAnythingIsCreated)
{
    // The option is judged before the host name is read: an unreadable one must not be what ends these.
    auto option = [](std::function<void()> set) { return [=] { set(), Resolver().hostName.clear(); }; };
    const std::type_info& optionRefused = typeid(InvalidVerifyJORVCertificateOptionException);
    struct Case {
        std::function<void()> arrange;
        const char* server;
        const std::type_info& type;
        std::string message;
    };
    const Case cases[] = {
        {[] {}, "proxy.corp.example", typeid(InvalidIPAddressException),
         "The IP Address is invalid: IPv4 address 'proxy.corp.example' cannot be parsed as an IP address"},
        {option([] { Settings::SetAdvancedIntegerOption(VERIFY_OPTION, 0x100000001LL); }), PROXY_ADDRESS,
         optionRefused,
         "The VerifyJORVCertificate option is invalid: Invalid value for "
         "UserVars.ActiveDirectoryVerifyJORVCertificate"},
        {option([] { Settings::RemoveAdvancedOption(VERIFY_OPTION); }), PROXY_ADDRESS, optionRefused,
         OPTION_UNAVAILABLE},
        {option([] { Settings::SetAdvancedStringOption(VERIFY_OPTION, "1"); }), PROXY_ADDRESS, optionRefused,
         OPTION_UNAVAILABLE},
        {option([this] { BreakStore(); }), PROXY_ADDRESS, optionRefused, OPTION_UNAVAILABLE},
        {[] { Resolver().resolutions.clear(); }, PROXY_ADDRESS, typeid(InvalidHostNameException),
         "The current hostname is invalid: hostname cannot be resolved"},
        {[] { UseConfigurationStore(false), std::remove(ServersPath().c_str()); }, PROXY_ADDRESS,
         typeid(InvalidThumbprintStoreException), "The specified thumbprint store '" + ServersPath() + "' is invalid"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        c.arrange();
        ExpectRefused(Join(c.server, true), c.type, c.message);
        ExpectNothingCreated();
        // Back to a host that would join.
        UseConfigurationStore(true);
        Settings::SetConfigStorePath(dir.File("configstore.db"));
        Settings::SetAdvancedIntegerOption(VERIFY_OPTION, 1);
        membership_test::SetHost("node01", "node01.corp.example");
        orvauth_test::WriteFile(ServersPath(), ServersFileBefore());
    }
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

TEST_F(JORVJoin, LaterFailuresPassUnchangedRecordNothingAndPutTheHostFilesBack)
{
    UseConfigurationStore(false);
    plugin->proxyStatus = JORV_PROXY_STATUS_UNTRUSTED_CERTIFICATE;
    ExpectRefused(Join(OTHER_PROXY_ADDRESS), typeid(InvalidJORVCertificateException),
                  "The JORV server's certificate cannot be verified.");
    EXPECT_EQ("info " + std::string(OTHER_PROXY_ADDRESS) + " 1 ;", plugin->proxyLog);

    membership_test::SetHost("node01", "web01.corp.example");
    plugin.Reset();
    ExpectRefused(Join(), typeid(InvalidHostNameException),
                  "The current hostname is invalid: shortname does not match FQDN");
    EXPECT_EQ(Info(1, LISTED_THUMBPRINT), plugin->proxyLog);

    // After the check has edited both files.
    SetHostInOtherDomain();
    plugin.Reset();
    plugin->status[SCRIPTABLE_SLOT_JOIN_DOMAIN_WITH_MACHINE_ACCOUNT] = 1355;
    ExpectRefused(Join(), typeid(NoSuchDomainException), "");
    ExpectHostFilesUnchanged();
    EXPECT_TRUE(DomainRecord().empty());
    EXPECT_EQ(0u, plugin.Calls(SCRIPTABLE_SLOT_PART_DOMAIN));
}

TEST_F(JORVJoin, AMembershipThatCannotBeRecordedIsUndone)
{
    InstallFailingStore();
    ExpectRefused(Join(PROXY_ADDRESS, true), typeid(QelConfigStore::ConfigStoreException), "database is locked");
    const ScriptablePluginControl directory = plugin.Read();
    EXPECT_EQ(1u, directory.calls[SCRIPTABLE_SLOT_JOIN_DOMAIN_WITH_MACHINE_ACCOUNT]);
    EXPECT_EQ(1u, directory.calls[SCRIPTABLE_SLOT_PART_DOMAIN]);
    EXPECT_NE(std::string::npos, std::string(directory.log).find("PartDomain((null))\n"));
    EXPECT_EQ(orvauth_test::LogLine({LOG_ERR, "Failed to store domain details to Config Store: database is locked."
                                              "Leaving Domain..."}),
              LoggedLines().back());
    EXPECT_TRUE(DomainRecord().empty());
}

TEST_F(JORVJoin, DomainQueryNeverVerifiesNeedsNoCertificateAndRefusesLikeTheJoin)
{
    Settings::SetAdvancedIntegerOption(VERIFY_OPTION, 2);
    EXPECT_EQ("corp.example", store->GetDomainForJORVService(PROXY_ADDRESS));
    EXPECT_EQ(Info(0, ""), plugin->proxyLog);
    plugin->proxyStatus = 1229;
    EXPECT_THROW(store->GetDomainForJORVService(PROXY_ADDRESS), ConnectionInvalidException);

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
