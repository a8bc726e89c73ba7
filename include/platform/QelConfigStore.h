// The host configuration store: objects named by (key, group, component)
// within a namespace, each holding named text values.
//
// The store is an SQLite database shared by every process on the host
// (default path /var/lib/orvane/configstore.db; see PlatformSettings.h).
// Writes are transactions, so a process that dies mid-write leaves either
// the old or the new object, never a mixture. Every failure (database
// unopenable, corrupt, locked beyond the busy timeout, disk full) is a
// ConfigStoreException whose what() names the database and the cause.
#pragma once

#include <platform/NodeCtlException.h>
#include <platform/PlatformExport.h>

#include <map>
#include <memory>
#include <string>

namespace QelConfigStore {

// The namespace of host-wide objects.
ORVPLATFORM_API extern const std::string sGlobalNamespace;

class ORVPLATFORM_API ConfigStoreException : public NodeCtl::Lib::NodeCtlException {
public:
    using NodeCtl::Lib::NodeCtlException::NodeCtlException;
    ~ConfigStoreException() override;
};

// Names one object. None of the three texts may be a null pointer
// (ConfigStoreException); empty texts are allowed.
class ORVPLATFORM_API ConfigStoreObjectId {
public:
    ConfigStoreObjectId(const char* key, const char* group, const char* component);

    const std::string& GetKey() const { return key; }
    const std::string& GetGroup() const { return group; }
    const std::string& GetComponent() const { return component; }

    bool operator==(const ConfigStoreObjectId& other) const;
    bool operator!=(const ConfigStoreObjectId& other) const { return !(*this == other); }

private:
    std::string key;
    std::string group;
    std::string component;
};

class ORVPLATFORM_API ReadOnlyObject {
public:
    explicit ReadOnlyObject(const ConfigStoreObjectId& id);
    virtual ~ReadOnlyObject();

    const ConfigStoreObjectId& GetId() const { return id; }

    // Copies the value called `name` into *out and returns true; returns
    // false and leaves *out untouched when there is no such value (or when
    // name or out is null).
    bool GetValue(const char* name, std::string* out) const;

    const std::map<std::string, std::string>& GetValues() const { return values; }

protected:
    std::map<std::string, std::string> values;

private:
    ConfigStoreObjectId id;
};

class ORVPLATFORM_API WritableObject : public ReadOnlyObject {
public:
    using ReadOnlyObject::ReadOnlyObject;
    ~WritableObject() override;

    // Sets the value in memory only; SetObject persists it. A null name
    // throws ConfigStoreException. Always returns true otherwise.
    bool SetValue(const char* name, const std::string& value);
};

// A new, empty object for an id; also what GetObject returns.
class ORVPLATFORM_API ConfigStoreObject : public WritableObject {
public:
    explicit ConfigStoreObject(const ConfigStoreObjectId& id);
    ~ConfigStoreObject() override;
};

class ORVPLATFORM_API ConfigStore {
public:
    // The store of a namespace: the one installed for it with
    // OrvPlatform::Settings::InstallConfigStore, otherwise a new store on
    // the configured database. An empty namespace or an unusable database
    // throws ConfigStoreException.
    static std::shared_ptr<ConfigStore> GetStore(const std::string& ns);

    // Opens (creating if needed) the database at databasePath. Public so
    // that a host or a test can derive its own store and override any
    // operation.
    ConfigStore(const std::string& ns, const std::string& databasePath);
    virtual ~ConfigStore();
    ConfigStore(const ConfigStore&) = delete;
    ConfigStore& operator=(const ConfigStore&) = delete;

    const std::string& GetNamespace() const { return ns; }

    // The stored object, or null when there is none.
    virtual std::shared_ptr<ConfigStoreObject> GetObject(const ConfigStoreObjectId& id);

    // Replaces the object with the same id by this one, all values at once.
    // flags must be 0 (no other mode exists); a null object or non-zero
    // flags throw ConfigStoreException.
    virtual void SetObject(std::shared_ptr<ConfigStoreObject>& object, int& flags);

    // Removes the object; removing an absent object is no error.
    virtual void RemoveObject(const ConfigStoreObjectId& id);

protected:
    // A store without a database, for derived stores that override every
    // operation; the base operations then throw ConfigStoreException.
    explicit ConfigStore(const std::string& ns);

private:
    struct Database;
    std::string ns;
    std::unique_ptr<Database> database;
};

}  // namespace QelConfigStore
