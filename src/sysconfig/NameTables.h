// The fixed (value, name) tables of controls, facilities and name-service
// databases. They are constant-initialised, so they exist before any other
// static initialiser of the process could use them and are never written.
// Lookups are linear scans in table order with whole-string, case-sensitive
// comparison; the tables are small enough that nothing smarter pays.
#pragma once

#include <SystemConfiguration/NSSDatabase.h>
#include <SystemConfiguration/PAMControl.h>
#include <SystemConfiguration/PAMFacility.h>

#include <cstddef>
#include <string>
#include <string_view>

namespace SystemConfiguration {
namespace detail {

template <typename Value>
struct NameRow {
    Value value;
    std::string_view name;
};

inline constexpr NameRow<PAMControl::Control> CONTROL_NAMES[] = {
    {PAMControl::Required, "required"}, {PAMControl::Requisite, "requisite"},
    {PAMControl::Sufficient, "sufficient"}, {PAMControl::Optional, "optional"},
    {PAMControl::Include, "include"}, {PAMControl::Substack, "substack"},
};

// Table order is not numeric order; lookups only ever need the first match.
inline constexpr NameRow<PAMFacility::Facility> FACILITY_NAMES[] = {
    {PAMFacility::Auth, "auth"}, {PAMFacility::Account, "account"},
    {PAMFacility::Password, "password"}, {PAMFacility::Session, "session"},
};

inline constexpr NameRow<NSSDatabase::Database> DATABASE_NAMES[] = {
    {NSSDatabase::Passwd, "passwd"}, {NSSDatabase::Group, "group"},
    {NSSDatabase::Shadow, "shadow"}, {NSSDatabase::Hosts, "hosts"},
    {NSSDatabase::Netmasks, "netmasks"}, {NSSDatabase::Networks, "networks"},
    {NSSDatabase::Protocols, "protocols"}, {NSSDatabase::Services, "services"},
    {NSSDatabase::Ethers, "ethers"}, {NSSDatabase::Rpc, "rpc"},
    {NSSDatabase::Netgroup, "netgroup"}, {NSSDatabase::Bootparams, "bootparams"},
    {NSSDatabase::Publickey, "publickey"}, {NSSDatabase::Automount, "automount"},
    {NSSDatabase::Aliases, "aliases"},
};

// Finds the value named `name`; false when no row has that name.
template <typename Value, std::size_t N>
bool LookupValue(const NameRow<Value> (&table)[N], std::string_view name, Value& value)
{
    for (const NameRow<Value>& row : table) {
        if (row.name == name) {
            value = row.value;
            return true;
        }
    }
    return false;
}

// Finds the name of `value`; null when it has none.
template <typename Value, std::size_t N>
const std::string_view* LookupName(const NameRow<Value> (&table)[N], Value value)
{
    for (const NameRow<Value>& row : table) {
        if (row.value == value)
            return &row.name;
    }
    return nullptr;
}

// Messages render values without a name as their number in decimal.
template <typename Value>
std::string NumericText(Value value)
{
    return std::to_string(static_cast<long long>(value));
}

}  // namespace detail
}  // namespace SystemConfiguration
