// simdirectory's operations run on the library's worker threads as well as
// the callers': concurrent updates of different settings must all survive,
// and readers must only ever see complete lists.
#include "referenceplugins/PluginStateFiles.h"

#include <orvane/authentication/ActiveDirectoryProvider.h>

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
    auto controllers = [](int i) {
        const std::string name = "dc" + std::to_string(i) + ".corp.example.test";
        return std::deque<std::string>{name, "backup." + name};
    };
    auto services = [](int i) { return std::vector<std::string>{"svc" + std::to_string(i), "login"}; };
    std::atomic<bool> tornRead{false};

    std::thread setControllers([&] {
        for (int i = 0; i < ROUNDS; ++i) {
            provider.SetPreferredDomainControllers(controllers(i));
        }
    });
    std::thread setServices([&] {
        for (int i = 0; i < ROUNDS; ++i) {
            provider.SetSmartCardEnabledServices(services(i));
        }
    });
    std::thread reader([&] {
        for (int i = 0; i < ROUNDS; ++i) {
            const std::deque<std::string> list = provider.GetPreferredDomainControllers();
            tornRead = tornRead || (!list.empty() && (list.size() != 2 || list[1] != "backup." + list[0]));
            provider.GetActiveDomain();
        }
    });
    setControllers.join();
    setServices.join();
    reader.join();

    EXPECT_FALSE(tornRead);
    EXPECT_EQ(controllers(ROUNDS - 1), provider.GetPreferredDomainControllers());
    EXPECT_EQ(services(ROUNDS - 1), provider.GetSmartCardEnabledServices());
    ExpectNoTemporaryStateFile();
}

}  // namespace
