#include "SettingsState.h"
#include "SqliteDatabase.h"

#include <platform/PlatformSettings.h>
#include <platform/QelConfigStore.h>

#include <mutex>

namespace QelConfigStore {

const std::string sGlobalNamespace = "global";

ConfigStoreException::~ConfigStoreException() = default;

namespace {

std::string Checked(const char* text, const char* what)
{
    if (text == nullptr) {
        throw ConfigStoreException(std::string("Configuration store object id: the ") + what +
                                   " must not be a null pointer");
    }
    return text;
}

}  // namespace

ConfigStoreObjectId::ConfigStoreObjectId(const char* key, const char* group, const char* component)
    : key(Checked(key, "key")), group(Checked(group, "group")), component(Checked(component, "component"))
{
}

bool ConfigStoreObjectId::operator==(const ConfigStoreObjectId& other) const
{
    return key == other.key && group == other.group && component == other.component;
}

ReadOnlyObject::ReadOnlyObject(const ConfigStoreObjectId& id) : id(id) {}

ReadOnlyObject::~ReadOnlyObject() = default;

bool ReadOnlyObject::GetValue(const char* name, std::string* out) const
{
    if (name == nullptr || out == nullptr) {
        return false;
    }
    auto found = values.find(name);
    if (found == values.end()) {
        return false;
    }
    *out = found->second;
    return true;
}

WritableObject::~WritableObject() = default;

bool WritableObject::SetValue(const char* name, const std::string& value)
{
    if (name == nullptr) {
        throw ConfigStoreException("Configuration store object: a value name must not be a null pointer");
    }
    values[name] = value;
    return true;
}

ConfigStoreObject::ConfigStoreObject(const ConfigStoreObjectId& id) : WritableObject(id) {}

ConfigStoreObject::~ConfigStoreObject() = default;

// One connection per store object; the mutex keeps the store's own threads
// from interleaving statements inside each other's transactions.
struct ConfigStore::Database {
    Database(const std::string& path, int busyTimeoutMs) : connection(path, busyTimeoutMs) {}

    std::mutex lock;
    OrvPlatform::Detail::SqliteDatabase connection;
};

std::shared_ptr<ConfigStore> ConfigStore::GetStore(const std::string& ns)
{
    if (auto installed = OrvPlatform::Detail::InstalledConfigStore(ns)) {
        return installed;
    }
    return std::make_shared<ConfigStore>(ns, OrvPlatform::Settings::GetConfigStorePath());
}

ConfigStore::ConfigStore(const std::string& ns) : ns(ns)
{
    if (ns.empty()) {
        throw ConfigStoreException("Configuration store: the namespace must not be empty");
    }
}

ConfigStore::ConfigStore(const std::string& ns, const std::string& databasePath) : ConfigStore(ns)
{
    database = std::make_unique<Database>(databasePath, OrvPlatform::Settings::GetConfigStoreBusyTimeout());
}

ConfigStore::~ConfigStore() = default;

namespace {

using OrvPlatform::Detail::SqliteDatabase;

#define ORV_OBJECT_WHERE " FROM config_objects WHERE namespace = ?1 AND component = ?2 AND grp = ?3 AND key = ?4"
const char* const FIND_OBJECT_SQL = "SELECT id" ORV_OBJECT_WHERE;
const char* const DELETE_OBJECT_SQL = "DELETE" ORV_OBJECT_WHERE;
#undef ORV_OBJECT_WHERE

SqliteDatabase::Statement& BindId(SqliteDatabase::Statement& statement, const std::string& ns,
                                  const ConfigStoreObjectId& id)
{
    return statement.Bind(1, ns).Bind(2, id.GetComponent()).Bind(3, id.GetGroup()).Bind(4, id.GetKey());
}

// Stores made without a database have nothing to fall back on.
template <typename Database, typename Body>
void WithDatabase(const std::unique_ptr<Database>& database, const std::string& ns, Body&& body)
{
    if (!database) {
        throw ConfigStoreException("Configuration store '" + ns + "' has no database");
    }
    std::lock_guard<std::mutex> guard(database->lock);
    body(database->connection);
}

}  // namespace

std::shared_ptr<ConfigStoreObject> ConfigStore::GetObject(const ConfigStoreObjectId& id)
{
    std::shared_ptr<ConfigStoreObject> object;
    WithDatabase(database, ns, [&](SqliteDatabase& db) {
        db.Transaction(false, [&] {
            SqliteDatabase::Statement find(db, FIND_OBJECT_SQL);
            if (!BindId(find, ns, id).Step()) {
                return;
            }
            object = std::make_shared<ConfigStoreObject>(id);
            SqliteDatabase::Statement values(db, "SELECT name, value FROM config_values WHERE object = ?1");
            values.Bind(1, find.Integer(0));
            while (values.Step()) {
                object->SetValue(values.Text(0).c_str(), values.Text(1));
            }
        });
    });
    return object;
}

void ConfigStore::SetObject(std::shared_ptr<ConfigStoreObject>& object, int& flags)
{
    if (!object) {
        throw ConfigStoreException("Configuration store '" + ns + "': cannot store a null object");
    }
    if (flags != 0) {
        throw ConfigStoreException("Configuration store '" + ns + "': unsupported flags " +
                                   std::to_string(flags));
    }
    const ConfigStoreObjectId& id = object->GetId();
    WithDatabase(database, ns, [&](SqliteDatabase& db) {
        db.Transaction(true, [&] {
            SqliteDatabase::Statement remove(db, DELETE_OBJECT_SQL);
            BindId(remove, ns, id).Step();
            SqliteDatabase::Statement insert(
                db, "INSERT INTO config_objects (namespace, component, grp, key) VALUES (?1, ?2, ?3, ?4) "
                    "RETURNING id");
            if (!BindId(insert, ns, id).Step()) {
                db.Fail("store the object");
            }
            int64_t row = insert.Integer(0);
            while (insert.Step()) {
            }
            for (const auto& value : object->GetValues()) {
                SqliteDatabase::Statement add(db, "INSERT INTO config_values VALUES (?1, ?2, ?3)");
                add.Bind(1, row).Bind(2, value.first).Bind(3, value.second).Step();
            }
        });
    });
}

void ConfigStore::RemoveObject(const ConfigStoreObjectId& id)
{
    WithDatabase(database, ns, [&](SqliteDatabase& db) {
        db.Transaction(true, [&] {
            SqliteDatabase::Statement remove(db, DELETE_OBJECT_SQL);
            BindId(remove, ns, id).Step();
        });
    });
}

}  // namespace QelConfigStore
