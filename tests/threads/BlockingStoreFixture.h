// A store with a 1-second time-out on top of the blocking test plug-in, and
// the plug-in's control table. Every case starts with a freshly loaded
// plug-in and ends once all background queries have finished.
#pragma once

#include "BlockingClient.h"

#include <orvane/authentication/ActiveDirectoryStore.h>

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace orvauth_test {

class BlockingStoreFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // One more store object on the same (already loaded) plug-in.
    static std::unique_ptr<orvane::authentication::ActiveDirectoryStore> NewStore();
    // How often the plug-in has been unloaded since SetUp.
    static int Unloads();

    std::unique_ptr<orvane::authentication::ActiveDirectoryStore> store;
    const BlockingClientControlTable* control = nullptr;
};

// Text forms of the query results, for comparing whole answers at once.
std::string Render(const orvane::authentication::StoreConfiguration& configuration);
std::string Render(const std::deque<orvane::authentication::Domain>& domains);

// "a", "b", ... as a NULL-terminated array for the plug-in's setters.
class CStrings {
public:
    CStrings(std::initializer_list<std::string> texts);
    const char* const* Get() const { return pointers.data(); }

private:
    std::vector<std::string> texts;
    std::vector<const char*> pointers;
};

}  // namespace orvauth_test
