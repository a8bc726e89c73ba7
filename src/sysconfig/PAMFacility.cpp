#include <SystemConfiguration/Exceptions.h>
#include <SystemConfiguration/PAMFacility.h>

#include "sysconfig/NameTables.h"

namespace SystemConfiguration {

namespace {

const char FACILITY_PREFIX[] = "Invalid Facility: ";

PAMFacility::Facility ParseFacility(const std::string& name)
{
    PAMFacility::Facility value;
    if (detail::LookupValue(detail::FACILITY_NAMES, name, value))
        return value;
    throw InvalidFacilityException(FACILITY_PREFIX + name);
}

}  // namespace

PAMFacility::PAMFacility() : facility(Unset) {}
PAMFacility::PAMFacility(Facility facility) : facility(facility) {}
PAMFacility::PAMFacility(const std::string& name) : facility(ParseFacility(name)) {}

PAMFacility& PAMFacility::operator=(Facility value)
{
    facility = value;
    return *this;
}

PAMFacility& PAMFacility::operator=(const std::string& name)
{
    facility = ParseFacility(name);
    return *this;
}

bool PAMFacility::operator==(const std::string& name) const
{
    return facility == ParseFacility(name);
}

PAMFacility::operator std::string() const
{
    if (const std::string_view* name = detail::LookupName(detail::FACILITY_NAMES, facility))
        return std::string(*name);
    throw InvalidFacilityException(FACILITY_PREFIX + detail::NumericText(facility));
}

}  // namespace SystemConfiguration
