// A store with a 1-second time-out on top of the blocking test plug-in, and
// the plug-in's control table. Every case starts with a freshly loaded
// plug-in and ends once all background queries have finished and nothing
// keeps the plug-in loaded any more.
#pragma once

#include "BlockingClient.h"
#include "BuildPaths.h"
#include "ThreadSeam.h"
#include "common/Files.h"
#include "common/SyslogRecorder.h"

#include <orvane/authentication/ActiveDirectoryStore.h>

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace orvauth_test {

using namespace orvane::authentication;

class BlockingStoreFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetConfigDir();
        WriteFile(ConfigFile("provider.conf"), "provider = \"blockingclient\"\n");
        __atomic_store_n(&unloads, 0, __ATOMIC_SEQ_CST);
        store = NewStore();
        // Looked up through a handle of our own, dropped at once: a lookup in
        // the global scope would tie the plug-in to the program for good.
        void* handle = dlopen(ORVAUTH_PLUGIN_DIR "/libblockingclient.so", RTLD_LAZY | RTLD_NOLOAD);
        ASSERT_NE(handle, nullptr) << "the store did not load the plug-in";
        control = static_cast<const BlockingClientControlTable*>(dlsym(handle, BLOCKING_CLIENT_CONTROL_SYMBOL));
        operations =
            static_cast<ActiveDirectoryClientOperations*>(dlsym(handle, ACTIVE_DIRECTORY_CLIENT_OPERATIONS_SYMBOL));
        dlclose(handle);
        ASSERT_TRUE(control != nullptr && operations != nullptr);
        control->SetUnloadCounter(&unloads);
        ClearLoggedLines();
    }

    void TearDown() override
    {
        FailThreadCreation(0);
        for (int operation = 0; control != nullptr && operation < BLOCKING_OPERATION_COUNT; ++operation) {
            control->Release(operation);
        }
        store.reset();
        ASSERT_TRUE(WaitForThreadsToEnd());
        EXPECT_EQ(Unloads(), 1);
    }

    // One more store object on the same (already loaded) plug-in.
    static std::unique_ptr<ActiveDirectoryStore> NewStore() { return std::make_unique<ActiveDirectoryStore>(1); }
    static int Unloads() { return __atomic_load_n(&unloads, __ATOMIC_SEQ_CST); }

    std::unique_ptr<ActiveDirectoryStore> store;
    const BlockingClientControlTable* control = nullptr;  // null once the plug-in may be gone
    ActiveDirectoryClientOperations* operations = nullptr;  // clear slots only while no query runs
    static inline int unloads = 0;                        // written by the plug-in's destructor
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

// "a", "b", ... as a NULL-terminated array for the plug-in's setters.
class CStrings {
public:
    CStrings(std::initializer_list<std::string> list) : texts(list)
    {
        for (const std::string& text : texts) {
            pointers.push_back(text.c_str());
        }
        pointers.push_back(nullptr);
    }
    const char* const* Get() const { return pointers.data(); }

private:
    std::vector<std::string> texts;
    std::vector<const char*> pointers;
};

}  // namespace orvauth_test
