#include "SettingsState.h"
#include "SqliteDatabase.h"

#include <platform/FeatureList.h>
#include <platform/Ipv4Address.h>
#include <platform/PlatformSettings.h>

#include <map>
#include <mutex>
#include <stdexcept>

namespace OrvPlatform {
namespace {

struct State {
    std::string configStorePath = Settings::DEFAULT_CONFIG_STORE_PATH;
    int busyTimeoutMs = Settings::DEFAULT_BUSY_TIMEOUT_MS;
    std::string hostsFilePath = Settings::DEFAULT_HOSTS_FILE_PATH;
    std::string resolvConfPath = Settings::DEFAULT_RESOLV_CONF_PATH;
    std::string routeTablePath = Settings::DEFAULT_ROUTE_TABLE_PATH;
    Detail::ManagementInterfaceSetting managementInterface;
    std::map<std::string, std::shared_ptr<QelConfigStore::ConfigStore>> installedStores;
};

std::mutex& Lock()
{
    static std::mutex lock;
    return lock;
}

State& Current()
{
    static State state;
    return state;
}

template <typename T>
void Set(T State::*member, T value)
{
    std::lock_guard<std::mutex> guard(Lock());
    Current().*member = std::move(value);
}

template <typename T>
T Get(T State::*member)
{
    std::lock_guard<std::mutex> guard(Lock());
    return Current().*member;
}

void CheckOptionPath(const std::string& path)
{
    static const char* const WORD_CHARACTERS =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_";
    size_t start = 0;
    while (true) {
        size_t dot = path.find('.', start);
        std::string part = path.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
        if (part.empty() || part.find_first_not_of(WORD_CHARACTERS) != std::string::npos) {
            throw std::invalid_argument("Invalid advanced option path '" + path + "'");
        }
        if (dot == std::string::npos) {
            return;
        }
        start = dot + 1;
    }
}

// Option writes share the configuration store's database and its errors,
// reported as the management library's exception.
template <typename Body>
void UpdateOptions(Body&& body)
{
    try {
        Detail::SqliteDatabase db(Settings::GetConfigStorePath(), Settings::GetConfigStoreBusyTimeout());
        db.Transaction(true, [&] { body(db); });
    } catch (const QelConfigStore::ConfigStoreException& e) {
        throw NodeCtl::Lib::NodeCtlException(e.what());
    }
}

const char* const SET_OPTION_SQL = "INSERT OR REPLACE INTO advanced_options VALUES (?1, ?2, ?3)";

void CheckFeatureIndex(unsigned index)
{
    if (index >= FEATURE_LIST_SIZE) {
        throw std::out_of_range("Feature switch " + std::to_string(index) + " does not exist");
    }
}

}  // namespace

namespace Detail {

std::shared_ptr<QelConfigStore::ConfigStore> InstalledConfigStore(const std::string& ns)
{
    std::lock_guard<std::mutex> guard(Lock());
    auto found = Current().installedStores.find(ns);
    return found == Current().installedStores.end() ? nullptr : found->second;
}

ManagementInterfaceSetting ManagementInterface() { return Get(&State::managementInterface); }

}  // namespace Detail

namespace Settings {

void SetConfigStorePath(const std::string& path) { Set(&State::configStorePath, path); }
std::string GetConfigStorePath() { return Get(&State::configStorePath); }

void SetConfigStoreBusyTimeout(int milliseconds)
{
    if (milliseconds < 0) {
        throw std::invalid_argument("The busy timeout must not be negative");
    }
    Set(&State::busyTimeoutMs, milliseconds);
}
int GetConfigStoreBusyTimeout() { return Get(&State::busyTimeoutMs); }

void InstallConfigStore(const std::string& ns, std::shared_ptr<QelConfigStore::ConfigStore> store)
{
    std::shared_ptr<QelConfigStore::ConfigStore> previous;  // released outside the lock
    std::lock_guard<std::mutex> guard(Lock());
    auto& stores = Current().installedStores;
    auto found = stores.find(ns);
    if (found != stores.end()) {
        previous = std::move(found->second);
        stores.erase(found);
    }
    if (store) {
        stores.emplace(ns, std::move(store));
    }
}

void SetHostsFilePath(const std::string& path) { Set(&State::hostsFilePath, path); }
std::string GetHostsFilePath() { return Get(&State::hostsFilePath); }
void SetResolvConfPath(const std::string& path) { Set(&State::resolvConfPath, path); }
std::string GetResolvConfPath() { return Get(&State::resolvConfPath); }
void SetRouteTablePath(const std::string& path) { Set(&State::routeTablePath, path); }
std::string GetRouteTablePath() { return Get(&State::routeTablePath); }

void SetManagementInterface(const std::string& name)
{
    Set(&State::managementInterface, Detail::ManagementInterfaceSetting{name, false, ""});
}

void SetManagementInterface(const std::string& name, const std::string& ipv4Address)
{
    if (name.empty() || !NodeCtl::Network::Ipv4Address::IsValidAddress(ipv4Address)) {
        throw std::invalid_argument("Invalid management interface '" + name + "' with address '" +
                                    ipv4Address + "'");
    }
    Set(&State::managementInterface, Detail::ManagementInterfaceSetting{name, true, ipv4Address});
}

void SetAdvancedIntegerOption(const std::string& path, int64_t value)
{
    CheckOptionPath(path);
    UpdateOptions([&](Detail::SqliteDatabase& db) {
        Detail::SqliteDatabase::Statement(db, SET_OPTION_SQL).Bind(1, path).Bind(2, "integer").Bind(3, value).Step();
    });
}

void SetAdvancedStringOption(const std::string& path, const std::string& value)
{
    CheckOptionPath(path);
    UpdateOptions([&](Detail::SqliteDatabase& db) {
        Detail::SqliteDatabase::Statement(db, SET_OPTION_SQL).Bind(1, path).Bind(2, "string").Bind(3, value).Step();
    });
}

void RemoveAdvancedOption(const std::string& path)
{
    CheckOptionPath(path);
    UpdateOptions([&](Detail::SqliteDatabase& db) {
        Detail::SqliteDatabase::Statement(db, "DELETE FROM advanced_options WHERE path = ?1").Bind(1, path).Step();
    });
}

void SetFeature(unsigned index, bool on)
{
    CheckFeatureIndex(index);
    std::lock_guard<std::mutex> guard(Lock());
    __atomic_store_n(FeatureList[index], static_cast<unsigned char>(on ? 1 : 0), __ATOMIC_RELAXED);
}

bool IsFeatureEnabled(unsigned index)
{
    CheckFeatureIndex(index);
    return __atomic_load_n(FeatureList[index], __ATOMIC_RELAXED) != 0;
}

void Reset()
{
    std::map<std::string, std::shared_ptr<QelConfigStore::ConfigStore>> previous;
    std::lock_guard<std::mutex> guard(Lock());
    previous.swap(Current().installedStores);
    Current() = State();
    Detail::ResetFeatureList();
}

}  // namespace Settings
}  // namespace OrvPlatform
