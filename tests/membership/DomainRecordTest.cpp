// The domain and proxy-certificate records in the host configuration
// store, on a real database in a temporary directory.
#include "RecordingConfigStore.h"
#include "common/Files.h"

#include <orvane/authentication/ActiveDirectoryConfigStore.h>
#include <orvane/authentication/Exceptions.h>

#include <platform/PlatformSettings.h>

#include <gtest/gtest.h>

#include <map>

namespace membership_test {
namespace {

namespace Settings = OrvPlatform::Settings;
using orvane::authentication::ActiveDirectoryConfigStore;
using orvane::authentication::ConfigurationError;
using Record = std::map<std::string, std::string>;

class DomainRecordTest : public ::testing::Test {
protected:
    DomainRecordTest()
    {
        Settings::Reset();
        Settings::SetConfigStorePath(dir.File("configstore.db"));
    }
    ~DomainRecordTest() override { Settings::Reset(); }

    Record Stored(const QelConfigStore::ConfigStoreObjectId& id) const
    {
        QelConfigStore::ConfigStore database(QelConfigStore::sGlobalNamespace, dir.File("configstore.db"));
        std::shared_ptr<QelConfigStore::ConfigStoreObject> object = database.GetObject(id);
        return object ? object->GetValues() : Record();
    }

    RecordingConfigStore& InstallRecordingStore()
    {
        recording = std::make_shared<RecordingConfigStore>(dir.File("configstore.db"));
        Settings::InstallConfigStore(QelConfigStore::sGlobalNamespace, recording);
        return *recording;
    }

    orvauth_test::TempDir dir;
    std::shared_ptr<RecordingConfigStore> recording;
};

TEST_F(DomainRecordTest, RecordsLiveInIdentityGroupOfQelComponent)
{
    const QelConfigStore::ConfigStoreObjectId& domain = ActiveDirectoryConfigStore::AD_CSO_ID;
    const QelConfigStore::ConfigStoreObjectId& certificate = ActiveDirectoryConfigStore::AUTH_PROXY_CERT_CSO_ID;
    EXPECT_EQ("active_directory", domain.GetKey());
    EXPECT_EQ("auth_proxy_certificate", certificate.GetKey());
    for (const QelConfigStore::ConfigStoreObjectId* id : {&domain, &certificate}) {
        EXPECT_EQ("identity", id->GetGroup());
        EXPECT_EQ("qel", id->GetComponent());
    }
}

TEST_F(DomainRecordTest, RecordWithoutUnitHoldsDomainAndPossiblyEmptyProxyAddress)
{
    RecordingConfigStore& recording = InstallRecordingStore();
    ActiveDirectoryConfigStore records;

    records.StoreDomainInfo("corp.example", "", "");

    EXPECT_EQ(Record({{"domain_name", "corp.example"}, {"auth_proxy_address", ""}}),
              Stored(ActiveDirectoryConfigStore::AD_CSO_ID));
    EXPECT_EQ(1u, recording.setCalls);
    EXPECT_EQ(0, recording.lastFlags);
    EXPECT_EQ("", records.GetOrganizationalUnit());
    EXPECT_EQ("", records.GetAuthProxyAddr());
}

TEST_F(DomainRecordTest, EveryWriteReplacesWholeRecord)
{
    ActiveDirectoryConfigStore records;
    records.StoreDomainInfo("corp.example", "OU=Servers,DC=corp", "192.0.2.1");
    EXPECT_EQ("corp.example", records.GetDomainName());
    EXPECT_EQ("OU=Servers,DC=corp", records.GetOrganizationalUnit());
    EXPECT_EQ("192.0.2.1", records.GetAuthProxyAddr());

    // A later join without a unit must not inherit the earlier one.
    records.StoreDomainInfo("other.example", "", "");
    EXPECT_EQ(Record({{"domain_name", "other.example"}, {"auth_proxy_address", ""}}),
              Stored(ActiveDirectoryConfigStore::AD_CSO_ID));

    records.StoreAuthProxyCertInfo("0A:FF", "-----BEGIN CERTIFICATE-----\nMIIB\n-----END CERTIFICATE-----\n");
    EXPECT_EQ(Record({{"thumbprint", "0A:FF"},
                      {"certificate", "-----BEGIN CERTIFICATE-----\nMIIB\n-----END CERTIFICATE-----\n"}}),
              Stored(ActiveDirectoryConfigStore::AUTH_PROXY_CERT_CSO_ID));
}

TEST_F(DomainRecordTest, ReadingMissingRecordFails)
{
    ActiveDirectoryConfigStore records;
    using Getter = std::string (ActiveDirectoryConfigStore::*)() const;
    for (Getter get : {&ActiveDirectoryConfigStore::GetDomainName, &ActiveDirectoryConfigStore::GetOrganizationalUnit,
                       &ActiveDirectoryConfigStore::GetAuthProxyAddr, &ActiveDirectoryConfigStore::GetThumbprint,
                       &ActiveDirectoryConfigStore::GetCertificate}) {
        try {
            (records.*get)();
            ADD_FAILURE() << "read a missing record";
        } catch (const ConfigurationError& error) {
            EXPECT_STREQ("Failed to get the requested object", error.what());
            EXPECT_EQ(0u, error.Code());
        }
    }
}

TEST_F(DomainRecordTest, RemovingWithoutRecordMakesNoRemoveCall)
{
    RecordingConfigStore& recording = InstallRecordingStore();
    ActiveDirectoryConfigStore().RemoveDomainInfo();
    EXPECT_EQ(1u, recording.getCalls);
    EXPECT_EQ(0u, recording.removeCalls);
}

TEST_F(DomainRecordTest, RemovingDomainRecordKeepsCertificateRecord)
{
    ActiveDirectoryConfigStore records;
    records.StoreAuthProxyCertInfo("AB:CD", "PEM");
    records.StoreDomainInfo("corp.example", "", "192.0.2.1");

    records.RemoveDomainInfo();

    EXPECT_TRUE(Stored(ActiveDirectoryConfigStore::AD_CSO_ID).empty());
    EXPECT_EQ("AB:CD", records.GetThumbprint());
    EXPECT_EQ("PEM", records.GetCertificate());
}

TEST_F(DomainRecordTest, StoreFailuresReachCaller)
{
    ActiveDirectoryConfigStore().StoreDomainInfo("corp.example", "", "");
    RecordingConfigStore& recording = InstallRecordingStore();
    recording.setFailure = StoreFailure::ConfigStore;
    recording.removeFailure = StoreFailure::ConfigStore;
    ActiveDirectoryConfigStore records;

    EXPECT_THROW(records.StoreDomainInfo("other.example", "OU", ""), QelConfigStore::ConfigStoreException);
    EXPECT_THROW(records.StoreAuthProxyCertInfo("AB", "PEM"), QelConfigStore::ConfigStoreException);
    EXPECT_THROW(records.RemoveDomainInfo(), QelConfigStore::ConfigStoreException);
    EXPECT_EQ("corp.example", records.GetDomainName());

    Settings::InstallConfigStore(QelConfigStore::sGlobalNamespace, nullptr);
    Settings::SetConfigStorePath(dir.File("no-such-directory/configstore.db"));
    EXPECT_THROW(ActiveDirectoryConfigStore(), QelConfigStore::ConfigStoreException);
}

TEST(ConfigStoreFeatureTest, EnabledOnlyWithBothSwitchesOn)
{
    struct Case {
        bool store;
        bool domainRecord;
        bool enabled;
    };
    for (Case c : {Case{true, true, true}, Case{false, true, false}, Case{true, false, false},
                   Case{false, false, false}}) {
        Settings::SetFeature(1, c.store);
        Settings::SetFeature(57, c.domainRecord);
        EXPECT_EQ(c.enabled, ActiveDirectoryConfigStore::IsConfigStoreEnabled()) << c.store << c.domainRecord;
    }
    Settings::Reset();
    EXPECT_TRUE(ActiveDirectoryConfigStore::IsConfigStoreEnabled());
}

}  // namespace
}  // namespace membership_test
