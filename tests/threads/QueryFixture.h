// A store with a 1-second time-out on the scriptable plug-in, whose calls a
// test can hold for as long as it needs. Every case ends once all
// background queries have finished.
#pragma once

#include "ThreadSeam.h"
#include "common/Files.h"
#include "common/SyslogRecorder.h"
#include "plugins/ScriptablePluginLoader.h"

#include <orvane/authentication/ActiveDirectoryStore.h>

#include <gtest/gtest.h>
#include <memory>
#include <string>

namespace orvauth_test {

using namespace orvane::authentication;

class QueryFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetConfigDir();
        WriteFile(ConfigFile("provider.conf"), "provider = \"scriptable\"\n");
        store = NewStore();
        ClearLoggedLines();
    }

    void TearDown() override
    {
        FailThreadCreation(0);
        for (int slot = 1; slot < SCRIPTABLE_SLOT_COUNT; ++slot) {
            plugin.Hold(slot, false);
        }
        store.reset();
        ASSERT_TRUE(WaitForThreadsToEnd());
    }

    static std::unique_ptr<ActiveDirectoryStore> NewStore() { return std::make_unique<ActiveDirectoryStore>(1); }

    ScriptablePlugin plugin{"scriptable"};
    std::unique_ptr<ActiveDirectoryStore> store;
};

// Text forms of the query results, for comparing whole answers at once.
inline std::string Render(const StoreConfiguration& configuration)
{
    auto& directory = dynamic_cast<const ActiveDirectoryStoreConfiguration&>(configuration);
    std::string text = directory.activeDomain.dnsName + "|" + directory.activeDomain.netbiosName + "|";
    for (size_t i = 0; i < directory.preferredDomainControllers.size(); ++i) {
        text += (i > 0 ? "," : "") + directory.preferredDomainControllers[i];
    }
    return text + "|" + directory.machineAccountDN;
}

inline std::string Render(const std::deque<Domain>& domains)
{
    std::string text;
    for (const Domain& domain : domains) {
        text += (text.empty() ? "" : ";") + domain.dnsName + "/" + domain.netbiosName;
    }
    return text;
}

inline std::string ConfigurationOf(const ActiveDirectoryStore& store)
{
    std::unique_ptr<StoreConfiguration> configuration(store.GetStoreConfiguration());
    return Render(*configuration);
}

}  // namespace orvauth_test
