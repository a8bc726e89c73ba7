// One lookup service of a name-service switch line, with the words of the
// status-action group that follows it (e.g. "NOTFOUND=return").
#pragma once

#include <orvane/authentication/Export.h>

#include <iosfwd>
#include <list>
#include <string>

namespace SystemConfiguration {

class ORVAUTH_API NSSService {
public:
    explicit NSSService(const std::string& module);
    explicit NSSService(std::string&& module);
    NSSService(const NSSService& other) = default;
    NSSService& operator=(const NSSService& other) = default;
    NSSService(NSSService&& other) noexcept = default;
    NSSService& operator=(NSSService&& other) noexcept = default;
    ~NSSService() = default;

    bool operator==(const NSSService& other) const;
    bool operator!=(const NSSService& other) const { return !(*this == other); }

    // The service name, e.g. "files", "dns".
    const std::string& module() const { return module_; }
    // The status-action words in order; edited in place by callers.
    std::list<std::string>& parameters() { return parameters_; }
    const std::list<std::string>& parameters() const { return parameters_; }

private:
    std::string module_;
    std::list<std::string> parameters_;
};

// The module, then " [" + the parameters joined by single spaces + "]" when
// there are any. No leading space, no line feed.
ORVAUTH_API std::ostream& operator<<(std::ostream& out, const NSSService& service);

}  // namespace SystemConfiguration
