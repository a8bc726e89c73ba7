// A host configuration store on a real database that counts the calls made
// to it and fails chosen operations on request.
#pragma once

#include <platform/QelConfigStore.h>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

namespace membership_test {

enum class StoreFailure { None, ConfigStore, Other };

class RecordingConfigStore : public QelConfigStore::ConfigStore {
public:
    explicit RecordingConfigStore(const std::string& databasePath)
        : ConfigStore(QelConfigStore::sGlobalNamespace, databasePath)
    {
    }

    std::shared_ptr<QelConfigStore::ConfigStoreObject> GetObject(const QelConfigStore::ConfigStoreObjectId& id) override
    {
        ++getCalls;
        return ConfigStore::GetObject(id);
    }
    void SetObject(std::shared_ptr<QelConfigStore::ConfigStoreObject>& object, int& flags) override
    {
        ++setCalls;
        if (beforeSet) {
            beforeSet();
        }
        Fail(setFailure, "database is locked");
        ConfigStore::SetObject(object, flags);
    }
    void RemoveObject(const QelConfigStore::ConfigStoreObjectId& id) override
    {
        ++removeCalls;
        Fail(removeFailure, "disk I/O error");
        ConfigStore::RemoveObject(id);
    }
    unsigned Calls() const { return getCalls + setCalls + removeCalls; }

    StoreFailure setFailure = StoreFailure::None;
    StoreFailure removeFailure = StoreFailure::None;
    std::function<void()> beforeSet;  // runs in every SetObject, before it may fail
    unsigned getCalls = 0, setCalls = 0, removeCalls = 0;

private:
    static void Fail(StoreFailure failure, const std::string& text)
    {
        if (failure == StoreFailure::ConfigStore) {
            throw QelConfigStore::ConfigStoreException(text);
        }
        if (failure == StoreFailure::Other) {
            throw std::logic_error(text);
        }
    }
};

}  // namespace membership_test
