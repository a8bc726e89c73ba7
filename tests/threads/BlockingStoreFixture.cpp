#include "BlockingStoreFixture.h"

#include "ThreadSeam.h"
#include "common/Files.h"
#include "common/SyslogRecorder.h"

#include "BuildPaths.h"

#include <dlfcn.h>

using namespace orvane::authentication;

namespace orvauth_test {

namespace {
int unloadCounter;  // written by the plug-in's destructor
}

void BlockingStoreFixture::SetUp()
{
    ResetConfigDir();
    WriteFile(ConfigFile("provider.conf"), "provider = \"blockingclient\"\n");
    __atomic_store_n(&unloadCounter, 0, __ATOMIC_SEQ_CST);
    FailThreadCreation(0);
    store = NewStore();
    // Looked up through a handle of our own, dropped at once: a lookup in
    // the global scope would tie the plug-in to the program for good, and
    // the tests need to see it unloaded.
    void* handle = dlopen(ORVAUTH_PLUGIN_DIR "/libblockingclient.so", RTLD_LAZY | RTLD_NOLOAD);
    ASSERT_NE(handle, nullptr) << "the store did not load the plug-in";
    control = static_cast<const BlockingClientControlTable*>(dlsym(handle, BLOCKING_CLIENT_CONTROL_SYMBOL));
    dlclose(handle);
    ASSERT_NE(control, nullptr);
    control->SetUnloadCounter(&unloadCounter);
    ClearLoggedLines();
}

void BlockingStoreFixture::TearDown()
{
    FailThreadCreation(0);
    if (control != nullptr && Unloads() == 0) {
        for (int operation = 0; operation < BLOCKING_OPERATION_COUNT; ++operation) {
            control->Release(operation);
        }
    }
    store.reset();
    ASSERT_TRUE(WaitForThreadsToEnd());
    // Nothing may keep the plug-in loaded once stores and workers are gone.
    EXPECT_EQ(Unloads(), 1);
}

std::unique_ptr<ActiveDirectoryStore> BlockingStoreFixture::NewStore()
{
    return std::unique_ptr<ActiveDirectoryStore>(new ActiveDirectoryStore(1));
}

int BlockingStoreFixture::Unloads() { return __atomic_load_n(&unloadCounter, __ATOMIC_SEQ_CST); }

std::string Render(const StoreConfiguration& configuration)
{
    auto& directory = dynamic_cast<const ActiveDirectoryStoreConfiguration&>(configuration);
    std::string text = directory.activeDomain.dnsName + "|" + directory.activeDomain.netbiosName + "|";
    for (size_t i = 0; i < directory.preferredDomainControllers.size(); ++i) {
        text += (i > 0 ? "," : "") + directory.preferredDomainControllers[i];
    }
    return text + "|" + directory.machineAccountDN;
}

std::string Render(const std::deque<Domain>& domains)
{
    std::string text;
    for (const Domain& domain : domains) {
        text += (text.empty() ? "" : ";") + domain.dnsName + "/" + domain.netbiosName;
    }
    return text;
}

CStrings::CStrings(std::initializer_list<std::string> texts) : texts(texts)
{
    for (const std::string& text : this->texts) {
        pointers.push_back(text.c_str());
    }
    pointers.push_back(nullptr);
}

}  // namespace orvauth_test
