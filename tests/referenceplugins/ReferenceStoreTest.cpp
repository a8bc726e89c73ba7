// The Active Directory store running on simdirectory, as a host would use
// it: provider.conf names the plug-in, the join goes through the store, and
// the store's background queries read the membership back.
#include "common/SleepRecorder.h"
#include "referenceplugins/PluginStateFiles.h"

#include <orvane/authentication/ActiveDirectoryStore.h>
#include <orvane/authentication/Exceptions.h>
#include <platform/FeatureList.h>

#include <gtest/gtest.h>

#include <memory>

using namespace orvane::authentication;
using namespace orvauth_test;

namespace {

enum { DOMAIN_RECORD_FEATURE = 57 };

class StoreOnSimDirectory : public ::testing::Test {
protected:
    StoreOnSimDirectory()
    {
        ResetConfigDir();
        WriteFile(ConfigFile("provider.conf"), "provider = \"simdirectory\"\n");
        WriteFile(DirectoryStatePath(), "domain = corp.example.test\n"
                                        "netbios = CORP\n"
                                        "user = administrator:Secret#1\n"
                                        "controller = dc1.corp.example.test\n"
                                        "trusted_domain = emea.corp.example.test EMEA\n"
                                        "trust_state = 4\n");
        // Membership is kept in the plug-in's state file only; the host
        // configuration store is covered by the membership tests.
        savedFeature = *FeatureList[DOMAIN_RECORD_FEATURE];
        *FeatureList[DOMAIN_RECORD_FEATURE] = 0;
        store.reset(new ActiveDirectoryStore(30));
    }
    ~StoreOnSimDirectory() override { *FeatureList[DOMAIN_RECORD_FEATURE] = savedFeature; }

    std::unique_ptr<ActiveDirectoryStoreConfiguration> Configuration() const
    {
        StoreConfiguration* configuration = store->GetStoreConfiguration();
        auto* typed = dynamic_cast<ActiveDirectoryStoreConfiguration*>(configuration);
        if (typed == nullptr) {
            delete configuration;
        }
        return std::unique_ptr<ActiveDirectoryStoreConfiguration>(typed);
    }

    PluginFiles files{"simdirectory.state"};
    unsigned char savedFeature = 1;
    std::unique_ptr<ActiveDirectoryStore> store;
};

TEST_F(StoreOnSimDirectory, ANewHostReportsNoMembershipAndTrustStateSeven)
{
    const auto configuration = Configuration();
    ASSERT_NE(nullptr, configuration);
    EXPECT_TRUE(configuration->activeDomain.dnsName.empty());
    EXPECT_TRUE(configuration->machineAccountDN.empty());
    EXPECT_THROW(store->GetTrustedDomains(), FileNotFoundException);
    // Not joined: the trusted-domains step fails with "file not found".
    EXPECT_EQ(7u, store->GetDomainTrustState());
}

TEST_F(StoreOnSimDirectory, JoinThroughTheStoreAndReadTheMembershipBack)
{
    store->JoinDomain("corp.example.test/Servers", Credentials{"administrator", "Secret#1"}, true);
    store->SetPreferredDomainControllers({"dc1.corp.example.test"});

    const auto configuration = Configuration();
    ASSERT_NE(nullptr, configuration);
    EXPECT_EQ("corp.example.test", configuration->activeDomain.dnsName);
    EXPECT_EQ("CORP", configuration->activeDomain.netbiosName);
    EXPECT_EQ(std::deque<std::string>{"dc1.corp.example.test"}, configuration->preferredDomainControllers);
    EXPECT_EQ("CN=" + LocalAccountName() + ",OU=Servers,DC=corp,DC=example,DC=test", configuration->machineAccountDN);

    ASSERT_EQ(1u, store->GetTrustedDomains().size());
    EXPECT_EQ(4u, store->GetDomainTrustState());
    EXPECT_EQ("dc1.corp.example.test", store->GetDomainControllerForDomain("CORP"));
    EXPECT_EQ("EMEA\\erin", store->ConvertCanonicalUsername("erin@emea.corp.example.test"));

    store->PartDomain();
    EXPECT_TRUE(Configuration()->activeDomain.dnsName.empty());
    EXPECT_EQ(7u, store->GetDomainTrustState());
}

TEST_F(StoreOnSimDirectory, AFailedJoinThroughTheStoreLeavesTheHostOut)
{
    ClearSleepCalls();
    EXPECT_THROW(store->JoinDomain("corp.example.test", Credentials{"administrator", "nope"}, true),
                 LogonFailureException);
    EXPECT_EQ(8u, SleepCalls().size());
    EXPECT_THROW(store->JoinDomain("corp.example.test", Credentials{"administrator", ""}, true),
                 InvalidCredentialsException);
    EXPECT_TRUE(Configuration()->activeDomain.dnsName.empty());
}

}  // namespace
