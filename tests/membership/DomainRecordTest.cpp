// The domain and proxy-certificate records in the host configuration store,
// on a real database; DomainRecord() and CertificateRecord() read them at
// their fixed places past the class under test.
#include "MembershipSandbox.h"

#include <orvane/authentication/ActiveDirectoryConfigStore.h>
#include <orvane/authentication/Exceptions.h>

namespace membership_test {
namespace {

using orvane::authentication::ActiveDirectoryConfigStore;
using orvane::authentication::ConfigurationError;
using DomainRecordTest = MembershipSandbox;

const char PEM[] = "-----BEGIN CERTIFICATE-----\nMIIB\n-----END CERTIFICATE-----\n";

TEST_F(DomainRecordTest, EveryWriteReplacesWholeRecord)
{
    RecordingConfigStore& recording = InstallRecordingStore();
    ActiveDirectoryConfigStore records;
    records.StoreDomainInfo("corp.example", "OU=Servers,DC=corp", "192.0.2.1");
    EXPECT_EQ("corp.example", records.GetDomainName());
    EXPECT_EQ("OU=Servers,DC=corp", records.GetOrganizationalUnit());
    EXPECT_EQ("192.0.2.1", records.GetAuthProxyAddr());

    // A later join without a unit must not inherit the earlier one.
    records.StoreDomainInfo("other.example", "", "");
    EXPECT_EQ(Record({{"domain_name", "other.example"}, {"auth_proxy_address", ""}}), DomainRecord());
    EXPECT_EQ("", records.GetOrganizationalUnit());
    EXPECT_EQ(2u, recording.setCalls);

    records.StoreAuthProxyCertInfo("0A:FF", PEM);
    EXPECT_EQ(Record({{"thumbprint", "0A:FF"}, {"certificate", PEM}}), CertificateRecord());
}

TEST_F(DomainRecordTest, ReadingMissingRecordFails)
{
    ActiveDirectoryConfigStore records;
    using Getter = std::string (ActiveDirectoryConfigStore::*)() const;
    for (Getter get : {&ActiveDirectoryConfigStore::GetDomainName, &ActiveDirectoryConfigStore::GetOrganizationalUnit,
                       &ActiveDirectoryConfigStore::GetAuthProxyAddr, &ActiveDirectoryConfigStore::GetThumbprint,
                       &ActiveDirectoryConfigStore::GetCertificate}) {
        ExpectRefused([&] { (records.*get)(); }, typeid(ConfigurationError), "Failed to get the requested object");
    }
}

TEST_F(DomainRecordTest, RemovingTouchesOnlyAnExistingDomainRecord)
{
    RecordingConfigStore& recording = InstallRecordingStore();
    ActiveDirectoryConfigStore records;
    records.RemoveDomainInfo();
    EXPECT_EQ(0u, recording.removeCalls);

    records.StoreAuthProxyCertInfo("AB:CD", "PEM");
    records.StoreDomainInfo("corp.example", "", "192.0.2.1");
    records.RemoveDomainInfo();
    EXPECT_EQ(1u, recording.removeCalls);
    EXPECT_TRUE(DomainRecord().empty());
    EXPECT_EQ("AB:CD", records.GetThumbprint());
    EXPECT_EQ("PEM", records.GetCertificate());
}

}  // namespace
}  // namespace membership_test
