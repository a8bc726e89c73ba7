// simdirectory's operations run on the library's worker threads as well as
// the callers': concurrent updates of different settings must all survive,
// and readers must only ever see complete lists.
#include "referenceplugins/PluginStateFiles.h"

#include <orvane/authentication/ActiveDirectoryProvider.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace orvane::authentication;
using namespace orvauth_test;

namespace {

TEST(SimDirectoryConcurrency, ConcurrentUpdatesOfDifferentSettingsAreNotLost)
{
    PluginFiles files{"simdirectory.state"};
    WriteFile(DirectoryStatePath(), "domain = corp.example.test\nnetbios = CORP\n");
    ActiveDirectoryProvider provider("simdirectory");
    constexpr int ROUNDS = 150;
    std::atomic<bool> tornRead{false};

    std::thread controllers([&] {
        for (int i = 0; i < ROUNDS; ++i) {
            const std::string name = "dc" + std::to_string(i) + ".corp.example.test";
            provider.SetPreferredDomainControllers({name, "backup." + name});
        }
    });
    std::thread services([&] {
        for (int i = 0; i < ROUNDS; ++i) {
            provider.SetSmartCardEnabledServices({"svc" + std::to_string(i), "login"});
        }
    });
    std::thread reader([&] {
        for (int i = 0; i < ROUNDS; ++i) {
            const std::deque<std::string> list = provider.GetPreferredDomainControllers();
            if (!list.empty() && (list.size() != 2 || list[1] != "backup." + list[0])) {
                tornRead = true;
            }
            provider.GetActiveDomain();
        }
    });
    controllers.join();
    services.join();
    reader.join();

    EXPECT_FALSE(tornRead);
    const std::string last = "dc" + std::to_string(ROUNDS - 1) + ".corp.example.test";
    EXPECT_EQ((std::deque<std::string>{last, "backup." + last}), provider.GetPreferredDomainControllers());
    EXPECT_EQ((std::vector<std::string>{"svc" + std::to_string(ROUNDS - 1), "login"}),
              provider.GetSmartCardEnabledServices());
    for (const std::string& name : ListDirectory(ORVAUTH_PLUGIN_DIR)) {
        EXPECT_NE(0u, name.find("simdirectory.state.")) << "temporary file left behind: " << name;
    }
}

}  // namespace
