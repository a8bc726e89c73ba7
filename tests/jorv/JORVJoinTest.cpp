// Joining through an authentication proxy, with the scriptable proxy and
// directory plug-ins, a scripted host name and a real configuration store:
// the refusals before anything is created, the verification option and the
// thumbprint sources, what travels from the proxy to the directory, the
// record, and the rollback. Also the proxy's domain query.
#include "JORVSandbox.h"

#include "common/Files.h"
#include "common/SyslogRecorder.h"

#include <orvane/authentication/ActiveDirectoryConfigStore.h>
#include <orvane/authentication/Exceptions.h>

#include <platform/PlatformSettings.h>

#include <gtest/gtest.h>

#include <netdb.h>
#include <syslog.h>

#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <typeinfo>
#include <vector>

using namespace orvane::authentication;
using namespace jorv_test;
using orvauth_test::LoggedLines;
using orvauth_test::LogLine;
namespace Settings = OrvPlatform::Settings;
using Record = std::map<std::string, std::string>;

namespace {

const char OU[] = "OU=Hosts,DC=corp,DC=example";
const char STORED_THUMBPRINT[] = "0A:0B:0C:0D:0E:0F:10:20:30:40:50:60:70:80:90:A0:B0:C0:D0:E0";
const char SID[] = "S-1-5-21-1004336348-1177238915-682003330";
const char UNAVAILABLE_OPTION[] =
    "The VerifyJORVCertificate option is invalid: Unable to get advanced option "
    "UserVars.ActiveDirectoryVerifyJORVCertificate";
const char INVALID_OPTION[] =
    "The VerifyJORVCertificate option is invalid: Invalid value for UserVars.ActiveDirectoryVerifyJORVCertificate";

class JORVJoin : public JORVSandbox {
protected:
    void TrustCertificateInConfigurationStore()
    {
        ActiveDirectoryConfigStore().StoreAuthProxyCertInfo(STORED_THUMBPRINT, "-----BEGIN CERTIFICATE-----\n");
    }

    unsigned DirectoryCalls(int slot) { return plugin.Read().calls[slot]; }

    // Nothing reached the proxy or the directory and nothing was recorded.
    void ExpectNothingCreated()
    {
        EXPECT_STREQ("", proxy->callLog);
        EXPECT_EQ(0u, DirectoryCalls(SCRIPTABLE_SLOT_JOIN_DOMAIN_WITH_MACHINE_ACCOUNT));
        EXPECT_TRUE(DomainRecord().empty());
    }

    // Every string the proxy handed out was handed back, and every out
    // pointer arrived cleared.
    void TearDown() override
    {
        EXPECT_EQ(0, proxy->outstanding);
        EXPECT_EQ(0u, proxy->presetViolations);
    }
};

template <typename ExceptionType>
void ExpectRefusal(const std::function<void()>& call, const std::string& message)
{
    try {
        call();
        ADD_FAILURE() << "accepted; expected " << message;
    } catch (const ExceptionType& error) {
        EXPECT_EQ(message, error.what());
    } catch (const std::exception& error) {
        ADD_FAILURE() << typeid(error).name() << ": " << error.what() << "; expected " << message;
    }
}

// --- the whole join ----------------------------------------------------------

TEST_F(JORVJoin, CarriesTheProxysAnswersToTheDirectoryAndRecordsTheMembership)
{
    TrustCertificateInConfigurationStore();
    store->JoinDomainWithJORV(PROXY_ADDRESS, OU, false);

    // One question for the host-name check, the account, then three more.
    EXPECT_STREQ("info create info info info ", proxy->callLog);
    EXPECT_STREQ("node01.corp.example", proxy->lastCreate.hostName.text);
    EXPECT_STREQ(OU, proxy->lastCreate.container.text);
    EXPECT_STREQ(PROXY_ADDRESS, proxy->lastCreate.serverAddress.text);
    EXPECT_EQ(1, proxy->lastCreate.verifyCertificate);
    EXPECT_STREQ(STORED_THUMBPRINT, proxy->lastCreate.thumbprint.text);
    EXPECT_STREQ(STORED_THUMBPRINT, proxy->lastDomainInfo.thumbprint.text);

    const ScriptablePluginControl directory = plugin.Read();
    EXPECT_EQ(1u, directory.calls[SCRIPTABLE_SLOT_JOIN_DOMAIN_WITH_MACHINE_ACCOUNT]);
    const auto& joined = directory.machineAccountJoin;
    EXPECT_STREQ("", joined.domainController.text);
    EXPECT_STREQ("CORP", joined.netbiosName.text);
    EXPECT_STREQ("corp.example", joined.dnsName.text);
    EXPECT_STREQ(SID, joined.sid.text);
    EXPECT_STREQ("node01", joined.hostName.text);
    EXPECT_STREQ("corp.example", joined.dnsDomainName.text);
    EXPECT_STREQ("", joined.spareText.text);
    EXPECT_STREQ("created-value-1", joined.createdValue1.text);
    EXPECT_STREQ("created-value-2", joined.createdValue2.text);

    EXPECT_EQ((Record{{"domain_name", "corp.example"}, {"organizational_unit", OU}, {"auth_proxy_address", PROXY_ADDRESS}}),
              DomainRecord());
    EXPECT_EQ(HostsWith("node01.corp.example", "node01"), orvauth_test::ReadFile(HostsPath()));
    EXPECT_EQ(0u, directory.calls[SCRIPTABLE_SLOT_PART_DOMAIN]);
    for (const LogLine& line : LoggedLines()) {
        EXPECT_NE(LOG_ERR, line.priority) << line.text;
    }
}

TEST_F(JORVJoin, AnEmptyOrganizationalUnitLetsTheProxyChooseAndIsRecordedEmpty)
{
    TrustCertificateInConfigurationStore();
    store->JoinDomainWithJORV(PROXY_ADDRESS, "", true);
    EXPECT_TRUE(proxy->lastCreate.container.isNull);
    EXPECT_EQ((Record{{"domain_name", "corp.example"}, {"auth_proxy_address", PROXY_ADDRESS}}), DomainRecord());
    EXPECT_EQ("", ActiveDirectoryConfigStore().GetOrganizationalUnit());
}

TEST_F(JORVJoin, SkippingTheHostNameCheckStillNamesTheAccountAfterTheResolvedHost)
{
    membership_test::SetHostName("node01.corp.example");
    membership_test::SetResolution("node01.corp.example", "node01.other.example");
    TrustCertificateInConfigurationStore();
    store->JoinDomainWithJORV(PROXY_ADDRESS, OU, true);

    EXPECT_STREQ("create info info info ", proxy->callLog);
    EXPECT_EQ(std::vector<std::string>{"node01.corp.example"}, membership_test::ReentrantLookups());
    EXPECT_STREQ("node01.other.example", proxy->lastCreate.hostName.text);
    EXPECT_STREQ("node01", plugin.Read().machineAccountJoin.hostName.text);
    ExpectHostFilesUnchanged();
}

// --- the verification option and the thumbprint sources -------------------------

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
        {true, 0, PROXY_ADDRESS, ""},  // jorvservers.conf is not consulted
        {false, 1, PROXY_ADDRESS, LISTED_THUMBPRINT},
        {false, 0, PROXY_ADDRESS, LISTED_THUMBPRINT},
        {false, 1, OTHER_PROXY_ADDRESS, ""},  // not listed: trusts nothing
    };
    TrustCertificateInConfigurationStore();
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.configurationStore ? "store" : "file") + ", option " + std::to_string(c.option) +
                     ", " + c.server);
        proxy->callLog[0] = '\0';
        UseConfigurationStore(c.configurationStore);
        Settings::SetAdvancedIntegerOption(VERIFY_OPTION, c.option);
        store->JoinDomainWithJORV(c.server, OU, true);
        EXPECT_STREQ("create info info info ", proxy->callLog);
        EXPECT_EQ(c.option, proxy->lastCreate.verifyCertificate);
        EXPECT_STREQ(c.thumbprint, proxy->lastCreate.thumbprint.text);
        EXPECT_EQ(c.option, proxy->lastDomainInfo.verifyCertificate);
        EXPECT_STREQ(c.thumbprint, proxy->lastDomainInfo.thumbprint.text);
    }
    // Only the two joins with the configuration store were recorded, the
    // later one replacing the earlier.
    EXPECT_EQ(PROXY_ADDRESS, DomainRecord()["auth_proxy_address"]);
}

TEST_F(JORVJoin, AnUntrustedProxyCertificateEndsTheJoinBeforeAnyAccountIsMade)
{
    UseConfigurationStore(false);
    proxy->domainInfoStatus = JORV_PROXY_STATUS_UNTRUSTED_CERTIFICATE;
    ExpectRefusal<InvalidJORVCertificateException>([&] { store->JoinDomainWithJORV(OTHER_PROXY_ADDRESS, OU, false); },
                                                   "The JORV server's certificate cannot be verified.");
    EXPECT_STREQ("info ", proxy->callLog);
    EXPECT_EQ(0u, DirectoryCalls(SCRIPTABLE_SLOT_JOIN_DOMAIN_WITH_MACHINE_ACCOUNT));
}

TEST_F(JORVJoin, OnlyZeroAndOneAreVerificationOptionValues)
{
    struct Case {
        const char* what;
        std::function<void()> set;
        const char* message;
    };
    const Case cases[] = {
        {"2", [] { Settings::SetAdvancedIntegerOption(VERIFY_OPTION, 2); }, INVALID_OPTION},
        {"-1", [] { Settings::SetAdvancedIntegerOption(VERIFY_OPTION, -1); }, INVALID_OPTION},
        {"2^32 + 1", [] { Settings::SetAdvancedIntegerOption(VERIFY_OPTION, 0x100000001LL); }, INVALID_OPTION},
        {"missing", [] { Settings::RemoveAdvancedOption(VERIFY_OPTION); }, UNAVAILABLE_OPTION},
        {"text \"1\"", [] { Settings::SetAdvancedStringOption(VERIFY_OPTION, "1"); }, UNAVAILABLE_OPTION},
        {"only a sibling in the branch",
         [] {
             Settings::RemoveAdvancedOption(VERIFY_OPTION);
             Settings::SetAdvancedIntegerOption("UserVars.SomethingElse", 1);
         },
         UNAVAILABLE_OPTION},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.set();
        ExpectRefusal<InvalidVerifyJORVCertificateOptionException>(
            [&] { store->JoinDomainWithJORV(PROXY_ADDRESS, OU, false); }, c.message);
    }
    // The option is judged before the host name is read.
    EXPECT_EQ(0u, membership_test::GetHostNameCalls());
    ExpectNothingCreated();
}

TEST_F(JORVJoin, AnUnusableOptionDatabaseMeansTheOptionIsUnavailable)
{
    Settings::SetConfigStorePath(dir.File("no-such-directory/configstore.db"));
    ExpectRefusal<InvalidVerifyJORVCertificateOptionException>(
        [&] { store->JoinDomainWithJORV(PROXY_ADDRESS, OU, false); }, UNAVAILABLE_OPTION);
    EXPECT_STREQ("", proxy->callLog);
}

// --- refusals before anything is created ----------------------------------------

TEST_F(JORVJoin, EachEarlyRefusalHappensBeforeAnythingIsCreated)
{
    TrustCertificateInConfigurationStore();
    struct Case {
        const char* what;
        std::function<void()> arrange;
        std::function<void()> join;  // expects the refusal
    };
    auto join = [this](const char* server, bool skip) { return [=] { store->JoinDomainWithJORV(server, OU, skip); }; };
    const std::string jorvProvider = orvauth_test::ConfigFile("jorvprovider.conf");
    const Case cases[] = {
        {"host name as server address", [] {},
         [&] {
             ExpectRefusal<InvalidIPAddressException>(
                 join("proxy.corp.example", false),
                 "The IP Address is invalid: IPv4 address 'proxy.corp.example' cannot be parsed as an IP address");
         }},
        {"no host name, check skipped", [] { membership_test::FailGetHostName(); },
         [&] {
             ExpectRefusal<InvalidHostNameException>(join(PROXY_ADDRESS, true),
                                                     "The current hostname is invalid: unable to get hostname");
         }},
        {"unresolvable host name, check skipped", [] { membership_test::SetHostName("node02"); },
         [&] {
             ExpectRefusal<InvalidHostNameException>(join(PROXY_ADDRESS, true),
                                                     "The current hostname is invalid: hostname cannot be resolved");
         }},
        {"resolver failure", [] { membership_test::SetResolverFailure("node01", TRY_AGAIN); },
         [&] {
             ExpectRefusal<InvalidHostNameException>(
                 join(PROXY_ADDRESS, false), std::string("The current hostname is invalid: ") + hstrerror(TRY_AGAIN));
         }},
        {"no jorvprovider.conf", [&] { std::remove(jorvProvider.c_str()); },
         [&] {
             ExpectRefusal<InvalidJORVProxyProviderException>(
                 join(PROXY_ADDRESS, false), "The specified JORVProxy provider '(none installed)' is invalid");
         }},
        {"empty provider", [&] { orvauth_test::WriteFile(jorvProvider, "provider = \"\"\n"); },
         [&] {
             ExpectRefusal<InvalidJORVProxyProviderException>(join(PROXY_ADDRESS, false),
                                                              "The specified JORVProxy provider '(unset)' is invalid");
         }},
        {"no provider key", [&] { orvauth_test::WriteFile(jorvProvider, "plugin = \"jorvproxy\"\n"); },
         [&] { EXPECT_THROW(join(PROXY_ADDRESS, false)(), InvalidKeyException); }},
        {"malformed jorvprovider.conf", [&] { orvauth_test::WriteFile(jorvProvider, "provider\n"); },
         [&] { EXPECT_THROW(join(PROXY_ADDRESS, false)(), ConfigurationError); }},
        {"provider not installed", [&] { orvauth_test::WriteFile(jorvProvider, "provider = \"jorvproxy_absent\"\n"); },
         [&] {
             ExpectRefusal<InvalidJORVProxyProviderException>(
                 join(PROXY_ADDRESS, false), "The specified JORVProxy provider 'jorvproxy_absent' is invalid");
         }},
        {"plug-in without entry 2", [&] { proxy.Table().CreateMachineAccount = nullptr; },
         [&] {
             ExpectRefusal<InvalidJORVProxyProviderException>(
                 join(PROXY_ADDRESS, false), "The specified JORVProxy provider 'jorvproxy' is invalid: ");
         }},
        {"no jorvservers.conf",
         [&] {
             UseConfigurationStore(false);
             std::remove(ServersPath().c_str());
         },
         [&] {
             ExpectRefusal<InvalidThumbprintStoreException>(
                 join(PROXY_ADDRESS, false), "The specified thumbprint store '" + ServersPath() + "' is invalid");
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.arrange();
        c.join();
        ExpectNothingCreated();
        // Back to a host that would join.
        proxy.Reset();
        UseConfigurationStore(true);
        membership_test::SetHostName("node01");
        membership_test::SetResolution("node01", "node01.corp.example");
        orvauth_test::WriteFile(jorvProvider, "provider = \"jorvproxy\"\n");
        orvauth_test::WriteFile(ServersPath(), ServersFileBefore());
    }
    ExpectHostFilesUnchanged();
}

TEST_F(JORVJoin, VerifyingWithoutAStoredCertificateIsRefusedAndLogged)
{
    ExpectRefusal<InvalidThumbprintStoreException>([&] { store->JoinDomainWithJORV(PROXY_ADDRESS, OU, false); },
                                                   "The specified thumbprint store 'auth_proxy_certificate' is invalid");
    EXPECT_EQ(std::vector<LogLine>(
                  {{LOG_ERR, "Unable to fetch thumbprint from Config Store: Failed to get the requested object"}}),
              LoggedLines());
    ExpectNothingCreated();
}

// --- failures after the proxy was asked ---------------------------------------------

TEST_F(JORVJoin, ALaterFailurePassesUnchangedAndRecordsNothing)
{
    TrustCertificateInConfigurationStore();

    proxy->createStatus = 1225;
    EXPECT_THROW(store->JoinDomainWithJORV(PROXY_ADDRESS, OU, true), ConnectionRefusedException);
    EXPECT_STREQ("create ", proxy->callLog);
    EXPECT_EQ(0u, DirectoryCalls(SCRIPTABLE_SLOT_JOIN_DOMAIN_WITH_MACHINE_ACCOUNT));

    proxy->createStatus = 0;
    plugin->status[SCRIPTABLE_SLOT_JOIN_DOMAIN_WITH_MACHINE_ACCOUNT] = 1355;
    EXPECT_THROW(store->JoinDomainWithJORV(PROXY_ADDRESS, OU, true), NoSuchDomainException);

    membership_test::SetResolution("node01", "web01.corp.example");
    proxy->callLog[0] = '\0';
    ExpectRefusal<InvalidHostNameException>([&] { store->JoinDomainWithJORV(PROXY_ADDRESS, OU, false); },
                                            "The current hostname is invalid: shortname does not match FQDN");
    EXPECT_STREQ("info ", proxy->callLog);

    EXPECT_TRUE(DomainRecord().empty());
    EXPECT_EQ(0u, DirectoryCalls(SCRIPTABLE_SLOT_PART_DOMAIN));
}

TEST_F(JORVJoin, AMembershipThatCannotBeRecordedIsUndone)
{
    TrustCertificateInConfigurationStore();
    membership_test::RecordingConfigStore& recording = InstallRecordingStore();
    recording.setFailure = membership_test::StoreFailure::ConfigStore;

    ExpectRefusal<QelConfigStore::ConfigStoreException>([&] { store->JoinDomainWithJORV(PROXY_ADDRESS, OU, true); },
                                                        "database is locked");
    const ScriptablePluginControl directory = plugin.Read();
    EXPECT_EQ(1u, directory.calls[SCRIPTABLE_SLOT_JOIN_DOMAIN_WITH_MACHINE_ACCOUNT]);
    EXPECT_EQ(1u, directory.calls[SCRIPTABLE_SLOT_PART_DOMAIN]);
    EXPECT_TRUE(directory.partDomain.credentialsNull);
    std::vector<LogLine> errors;
    for (const LogLine& line : LoggedLines()) {
        if (line.priority == LOG_ERR) {
            errors.push_back(line);
        }
    }
    EXPECT_EQ(std::vector<LogLine>(
                  {{LOG_ERR, "Failed to store domain details to Config Store: database is locked.Leaving Domain..."}}),
              errors);

    // A failing leave replaces the store's exception.
    plugin->status[SCRIPTABLE_SLOT_PART_DOMAIN] = 1355;
    EXPECT_THROW(store->JoinDomainWithJORV(PROXY_ADDRESS, OU, true), NoSuchDomainException);
    EXPECT_EQ(2u, DirectoryCalls(SCRIPTABLE_SLOT_PART_DOMAIN));
    EXPECT_TRUE(DomainRecord().empty());
}

TEST_F(JORVJoin, WithoutTheConfigurationStoreNothingIsRecorded)
{
    UseConfigurationStore(false);
    membership_test::RecordingConfigStore& recording = InstallRecordingStore();
    store->JoinDomainWithJORV(PROXY_ADDRESS, OU, true);
    EXPECT_EQ(1u, DirectoryCalls(SCRIPTABLE_SLOT_JOIN_DOMAIN_WITH_MACHINE_ACCOUNT));
    EXPECT_EQ(0u, recording.getCalls + recording.setCalls + recording.removeCalls);
}

// --- the proxy's domain ------------------------------------------------------------

TEST_F(JORVJoin, DomainQueryNeverVerifiesAndNeedsNoTrustedCertificate)
{
    EXPECT_EQ("corp.example", store->GetDomainForJORVService(PROXY_ADDRESS));
    EXPECT_STREQ("info ", proxy->callLog);
    EXPECT_EQ(0, proxy->lastDomainInfo.verifyCertificate);
    EXPECT_STREQ("", proxy->lastDomainInfo.thumbprint.text);
    EXPECT_STREQ(PROXY_ADDRESS, proxy->lastDomainInfo.serverAddress.text);
    EXPECT_TRUE(LoggedLines().empty());

    proxy->domainInfoStatus = 1229;
    EXPECT_THROW(store->GetDomainForJORVService(PROXY_ADDRESS), ConnectionInvalidException);
}

TEST_F(JORVJoin, DomainQueryRefusals)
{
    ExpectRefusal<InvalidIPAddressException>(
        [&] { store->GetDomainForJORVService("192.0.2"); },
        "The IP Address is invalid: IPv4 address '192.0.2' cannot be parsed as an IP address");
    orvauth_test::WriteFile(orvauth_test::ConfigFile("jorvprovider.conf"), "provider = \"jorvproxy_absent\"\n");
    ExpectRefusal<InvalidJORVProxyProviderException>([&] { store->GetDomainForJORVService(PROXY_ADDRESS); },
                                                     "The specified JORVProxy provider 'jorvproxy_absent' is invalid");
    std::remove(orvauth_test::ConfigFile("jorvprovider.conf").c_str());
    ExpectRefusal<InvalidJORVProxyProviderException>([&] { store->GetDomainForJORVService(PROXY_ADDRESS); },
                                                     "The specified JORVProxy provider '(none installed)' is invalid");
    EXPECT_STREQ("", proxy->callLog);
}

TEST_F(JORVJoin, DomainQueryUnloadsThePlugin)
{
    orvauth_test::WriteFile(orvauth_test::ConfigFile("jorvprovider.conf"), "provider = \"jorvproxy_base\"\n");
    EXPECT_EQ("corp.example", store->GetDomainForJORVService(PROXY_ADDRESS));
    EXPECT_FALSE(IsLoaded(ProxyPluginPath("jorvproxy_base", false)));
}

}  // namespace
