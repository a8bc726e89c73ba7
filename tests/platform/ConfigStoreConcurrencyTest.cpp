#include "PlatformFixture.h"

#include <platform/QelConfigStore.h>

#include <atomic>
#include <thread>
#include <vector>

using namespace QelConfigStore;
using namespace OrvPlatform;

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
                auto object = writer >= 0 ? std::make_shared<ConfigStoreObject>(id) : store->GetObject(id);
                std::string first = std::to_string(writer) + "/" + std::to_string(round), second = first;
                if (writer >= 0) {
                    object->SetValue("first", first);
                    object->SetValue("second", second);
                    int flags = 0;
                    store->SetObject(object, flags);
                } else if (object) {
                    bool whole = object->GetValue("first", &first) && object->GetValue("second", &second);
                    mixtures += !whole || first != second || object->GetValues().size() != 2;
                }
            }
        } catch (const std::exception&) {
            ++failures;
        }
    };
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i)
        threads.emplace_back(run, i % 4 < 2, i % 2 ? -1 : i);
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(mixtures, 0);
    ASSERT_NE(shared->GetObject(id), nullptr);
}

TEST_F(ConfigStoreConcurrencyTest, SettingsCanBeChangedWhileServicesRun)
{
    std::thread changer([this] {
        for (int i = 0; i < 200; ++i)
            Settings::SetHostsFilePath(dir.File(i % 2 ? "a" : "b")), Settings::SetFeature(5, i % 2);
    });
    for (int i = 0; i < 200; ++i)
        Settings::GetHostsFilePath(), Settings::IsFeatureEnabled(5);
    changer.join();
    Settings::Reset();  // the configuration store's two switches are on by default
    EXPECT_TRUE(Settings::IsFeatureEnabled(1) && Settings::IsFeatureEnabled(57));
    EXPECT_FALSE(Settings::IsFeatureEnabled(5));
}

}  // namespace
