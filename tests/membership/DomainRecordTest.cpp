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

TEST_F(DomainRecordTest, EveryWriteReplacesWholeRecordAndRemovingKeepsTheCertificate)
{
    HookedConfigStore& hooked = InstallHookedStore();
    ActiveDirectoryConfigStore records;
    records.RemoveDomainInfo();
    EXPECT_EQ("get ", hooked.calls) << "nothing to remove";
    ExpectRefused([&] { records.GetThumbprint(); }, typeid(ConfigurationError), "Failed to get the requested object");

    records.StoreAuthProxyCertInfo("0A:FF", "PEM");
    records.StoreDomainInfo("corp.example", "OU=Servers,DC=corp", "192.0.2.1");
    EXPECT_EQ("corp.example|OU=Servers,DC=corp|192.0.2.1",
              records.GetDomainName() + "|" + records.GetOrganizationalUnit() + "|" + records.GetAuthProxyAddr());
    // A later join without a unit must not inherit the earlier one.
    records.StoreDomainInfo("other.example", "", "");
    EXPECT_EQ(Record({{"domain_name", "other.example"}, {"auth_proxy_address", ""}}), DomainRecord());
    EXPECT_EQ("", records.GetOrganizationalUnit());

    records.RemoveDomainInfo();
    EXPECT_EQ("get remove ", hooked.calls.substr(hooked.calls.size() - 11));
    EXPECT_TRUE(DomainRecord().empty());
    ExpectRefused([&] { records.GetDomainName(); }, typeid(ConfigurationError), "Failed to get the requested object");
    EXPECT_EQ(Record({{"thumbprint", "0A:FF"}, {"certificate", "PEM"}}), CertificateRecord());
    EXPECT_EQ("0A:FF|PEM", records.GetThumbprint() + "|" + records.GetCertificate());
}

}  // namespace
}  // namespace membership_test
