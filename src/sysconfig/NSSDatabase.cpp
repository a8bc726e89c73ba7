#include <SystemConfiguration/Exceptions.h>
#include <SystemConfiguration/NSSDatabase.h>

#include "sysconfig/NameTables.h"

namespace SystemConfiguration {

namespace {

const char DATABASE_PREFIX[] = "Invalid Database: ";

NSSDatabase::Database ParseDatabase(const std::string& name)
{
    NSSDatabase::Database value;
    if (detail::LookupValue(detail::DATABASE_NAMES, name, value))
        return value;
    throw InvalidDatabaseException(DATABASE_PREFIX + name);
}

}  // namespace

NSSDatabase::NSSDatabase() : database(Unset) {}
NSSDatabase::NSSDatabase(Database database) : database(database) {}
NSSDatabase::NSSDatabase(const std::string& name) : database(ParseDatabase(name)) {}

NSSDatabase& NSSDatabase::operator=(Database value)
{
    database = value;
    return *this;
}

NSSDatabase& NSSDatabase::operator=(const std::string& name)
{
    database = ParseDatabase(name);
    return *this;
}

bool NSSDatabase::operator==(const std::string& name) const
{
    return database == ParseDatabase(name);
}

NSSDatabase::operator std::string() const
{
    if (const std::string_view* name = detail::LookupName(detail::DATABASE_NAMES, database))
        return std::string(*name);
    throw InvalidDatabaseException(DATABASE_PREFIX + detail::NumericText(database));
}

}  // namespace SystemConfiguration
