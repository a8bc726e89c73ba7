// A store with a 1-second time-out on the scriptable plug-in, whose calls a
// test can hold; every case ends once all background queries have ended.
#pragma once

#include "ThreadSeam.h"
#include "common/Files.h"
#include "common/SyslogRecorder.h"
#include "plugins/ScriptablePluginLoader.h"

#include <orvane/authentication/ActiveDirectoryStore.h>

#include <gtest/gtest.h>
#include <memory>

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

// Text forms of the answers, for comparing whole answers at once.
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
    std::unique_ptr<StoreConfiguration> snapshot(store.GetStoreConfiguration());
    auto& configuration = dynamic_cast<const ActiveDirectoryStoreConfiguration&>(*snapshot);
    std::string controllers;
    for (const std::string& controller : configuration.preferredDomainControllers) {
        controllers += (controllers.empty() ? "" : ",") + controller;
    }
    return configuration.activeDomain.dnsName + "|" + configuration.activeDomain.netbiosName + "|" + controllers +
           "|" + configuration.machineAccountDN;
}

}  // namespace orvauth_test
