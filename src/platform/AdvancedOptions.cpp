#include "SqliteDatabase.h"

#include <platform/AdvancedOptions.h>
#include <platform/PlatformSettings.h>
#include <platform/QelConfigStore.h>

namespace NodeCtl {
namespace Adv {

AdvancedOption::AdvancedOption(const std::string& path) : path(path) {}
AdvancedOption::~AdvancedOption() = default;

AdvancedIntegerOption::AdvancedIntegerOption(const std::string& path, int64_t value)
    : AdvancedOption(path), value(value)
{
}
AdvancedIntegerOption::~AdvancedIntegerOption() = default;
int64_t AdvancedIntegerOption::GetCurrentValue() const { return value; }

AdvancedStringOption::AdvancedStringOption(const std::string& path, const std::string& value)
    : AdvancedOption(path), value(value)
{
}
AdvancedStringOption::~AdvancedStringOption() = default;
std::string AdvancedStringOption::GetCurrentValue() const { return value; }

namespace {

using OrvPlatform::Detail::SqliteDatabase;

// Each lookup opens its own connection: branches are short-lived and may be
// used from any thread.
template <typename Body>
auto WithOptions(const std::string& databasePath, Body&& body)
{
    try {
        SqliteDatabase db(databasePath, OrvPlatform::Settings::GetConfigStoreBusyTimeout());
        return body(db);
    } catch (const QelConfigStore::ConfigStoreException& e) {
        throw Lib::NodeCtlException(e.what());
    }
}

// Names are single path parts; a dot would reach past the child.
bool IsPart(const std::string& name) { return !name.empty() && name.find('.') == std::string::npos; }

}  // namespace

AdvancedOptionBranch::AdvancedOptionBranch(const std::string& databasePath, const std::string& path)
    : databasePath(databasePath), path(path)
{
}

AdvancedOptionBranch::~AdvancedOptionBranch() = default;

AdvancedOptionBranch* AdvancedOptionBranch::GetBranch(const std::string& name) const
{
    if (!IsPart(name)) {
        return nullptr;
    }
    std::string child = path.empty() ? name : path + "." + name;
    bool exists = WithOptions(databasePath, [&](SqliteDatabase& db) {
        SqliteDatabase::Statement query(
            db, "SELECT 1 FROM advanced_options WHERE substr(path, 1, length(?1)) = ?1 LIMIT 1");
        return query.Bind(1, child + ".").Step();
    });
    return exists ? new AdvancedOptionBranch(databasePath, child) : nullptr;
}

AdvancedOption* AdvancedOptionBranch::GetOption(const std::string& name) const
{
    if (!IsPart(name)) {
        return nullptr;
    }
    std::string optionPath = path.empty() ? name : path + "." + name;
    return WithOptions(databasePath, [&](SqliteDatabase& db) -> AdvancedOption* {
        SqliteDatabase::Statement query(db, "SELECT kind, value FROM advanced_options WHERE path = ?1");
        if (!query.Bind(1, optionPath).Step()) {
            return nullptr;
        }
        // An integer option whose stored value is not an integer (text such
        // as "yes" reads as 0) must not pass for one: it is refused.
        std::string kind = query.Text(0);
        if (kind == "integer" && query.IsInteger(1)) {
            return new AdvancedIntegerOption(optionPath, query.Integer(1));
        }
        if (kind == "string") {
            return new AdvancedStringOption(optionPath, query.Text(1));
        }
        throw QelConfigStore::ConfigStoreException("Advanced option '" + optionPath + "' of kind '" + kind +
                                                   "' holds a value of another type");
    });
}

}  // namespace Adv

}  // namespace NodeCtl
