// A system database of the name-service switch (passwd, group, hosts, ...).
#pragma once

#include <orvane/authentication/Export.h>

#include <string>

namespace SystemConfiguration {

class ORVAUTH_API NSSDatabase {
public:
    // The numbers fix the order in which a configuration writes its lines.
    enum Database : int {
        Unset = 0,
        Passwd = 1,
        Group = 2,
        Shadow = 3,
        Hosts = 4,
        Netmasks = 5,
        Networks = 6,
        Protocols = 7,
        Services = 8,
        Ethers = 9,
        Rpc = 10,
        Netgroup = 11,
        Bootparams = 12,
        Publickey = 13,
        Automount = 14,
        Aliases = 15
    };

    // Holds Unset, which names no database: assign a value before using it
    // as a key that will be written.
    NSSDatabase();
    NSSDatabase(Database database);
    // Names are compared case-sensitively ("Passwd" is unknown). Throws
    // InvalidDatabaseException("Invalid Database: " + name).
    NSSDatabase(const std::string& name);
    // Trivially copyable, so it costs no more than the number as a map key.
    NSSDatabase(const NSSDatabase& other) = default;
    NSSDatabase& operator=(const NSSDatabase& other) = default;
    ~NSSDatabase() = default;

    NSSDatabase& operator=(Database database);
    // Throws like the constructor; *this keeps its value on failure.
    NSSDatabase& operator=(const std::string& name);

    bool operator==(const NSSDatabase& other) const { return database == other.database; }
    bool operator!=(const NSSDatabase& other) const { return database != other.database; }
    // Looks the name up first, so an unknown name throws.
    bool operator==(const std::string& name) const;
    bool operator!=(const std::string& name) const { return !(*this == name); }
    bool operator==(Database other) const { return database == other; }
    bool operator!=(Database other) const { return database != other; }
    bool operator<(const NSSDatabase& other) const { return database < other.database; }

    // A value without a name throws InvalidDatabaseException with
    // "Invalid Database: " followed by the numeric value in decimal
    // (e.g. "Invalid Database: 0").
    operator std::string() const;
    operator Database() const { return database; }

private:
    Database database;
};

}  // namespace SystemConfiguration
