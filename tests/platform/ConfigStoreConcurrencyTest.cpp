#include "PlatformFixture.h"

#include <platform/QelConfigStore.h>

#include <atomic>
#include <thread>
#include <vector>

using namespace QelConfigStore;

namespace {

using ConfigStoreConcurrencyTest = PlatformTest;

// Writers replace one object with pairs of equal values, through one shared
// store and through stores of their own; readers must never see a mixture.
TEST_F(ConfigStoreConcurrencyTest, ReadersNeverSeeAHalfReplacedObject)
{
    const ConfigStoreObjectId id("active_directory", "identity", "qel");
    auto shared = ConfigStore::GetStore(sGlobalNamespace);
    std::atomic<int> mixtures{0}, failures{0};
    auto run = [&](bool ownStore, int writer) {
        try {
            auto store = ownStore ? ConfigStore::GetStore(sGlobalNamespace) : shared;
            for (int round = 0; round < 40; ++round) {
                if (writer >= 0) {
                    auto object = std::make_shared<ConfigStoreObject>(id);
                    const std::string value = std::to_string(writer) + "/" + std::to_string(round);
                    object->SetValue("first", value);
                    object->SetValue("second", value);
                    int flags = 0;
                    store->SetObject(object, flags);
                } else if (auto object = store->GetObject(id)) {
                    std::string first, second;
                    object->GetValue("first", &first);
                    object->GetValue("second", &second);
                    mixtures += first != second || object->GetValues().size() != 2;
                }
            }
        } catch (const std::exception&) {
            ++failures;
        }
    };
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i) {
        threads.emplace_back(run, i % 2 == 0, i);
        threads.emplace_back(run, i % 2 == 0, -1);
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(mixtures, 0);
    ASSERT_NE(shared->GetObject(id), nullptr);
}

TEST_F(ConfigStoreConcurrencyTest, SettingsCanBeChangedWhileServicesRun)
{
    std::atomic<bool> stop{false};
    std::thread changer([&] {
        for (int i = 0; !stop; ++i) {
            OrvPlatform::Settings::SetHostsFilePath(dir.File(i % 2 ? "a" : "b"));
            OrvPlatform::Settings::SetFeature(5, i % 2);
        }
    });
    for (int i = 0; i < 200; ++i) {
        OrvPlatform::Settings::GetHostsFilePath();
        OrvPlatform::Settings::IsFeatureEnabled(5);
    }
    stop = true;
    changer.join();
    OrvPlatform::Settings::Reset();  // the configuration store's two switches are on by default
    EXPECT_TRUE(OrvPlatform::Settings::IsFeatureEnabled(1) && OrvPlatform::Settings::IsFeatureEnabled(57));
    EXPECT_FALSE(OrvPlatform::Settings::IsFeatureEnabled(5));
}

}  // namespace
