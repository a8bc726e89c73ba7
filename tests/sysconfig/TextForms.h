// Reading and writing the models through string streams, as the tests
// compare texts rather than streams.
#pragma once

#include <SystemConfiguration/SystemConfiguration.h>

#include <sstream>
#include <string>

namespace sysconfig_test {

inline void ReadInto(SystemConfiguration::PAMPolicy& policy, const std::string& text)
{
    std::istringstream in(text);
    in >> policy;
}

inline SystemConfiguration::PAMPolicy ReadPolicy(const std::string& text)
{
    SystemConfiguration::PAMPolicy policy("test");
    ReadInto(policy, text);
    return policy;
}

inline std::string Write(const SystemConfiguration::PAMPolicy& policy)
{
    std::ostringstream out;
    out << policy;
    return out.str();
}

inline SystemConfiguration::NSSConfiguration ReadNSS(const std::string& text)
{
    SystemConfiguration::NSSConfiguration configuration;
    std::istringstream in(text);
    in >> configuration;
    return configuration;
}

inline std::string Write(const SystemConfiguration::NSSConfiguration& configuration)
{
    std::ostringstream out;
    out << configuration;
    return out.str();
}

}  // namespace sysconfig_test
