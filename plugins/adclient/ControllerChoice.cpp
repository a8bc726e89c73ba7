#include "adclient/ControllerChoice.h"

#include "adclient/ClientSettings.h"
#include "common/StatusError.h"

#include <syslog.h>

namespace adclient {

orvauth_base::Controllers ControllerToUse(const std::string& domain, const std::vector<std::string>& preferred,
                                          const std::string& recorded)
{
    if (!preferred.empty()) {
        return {{preferred.front()}, preferred.front()};
    }
    std::vector<std::string> tried = orvauth_base::ListedControllers(orvauth_base::ControllersServiceName(domain, ""));
    if (tried.empty() && !recorded.empty()) {
        tried.push_back(recorded);
    }
    std::string reason;
    std::uint32_t status = ORVAUTH_STATUS_NO_LOGON_SERVERS;
    if (tried.empty()) {
        status = ORVAUTH_STATUS_NO_SUCH_DOMAIN;
        reason = orvauth_base::NoControllerListed(domain);
    } else {
        // Over LDAPS only, TCP 389 may be closed: ask the port the
        // operations will use.
        const char* port = LdapPort(CurrentClientSettings());
        const std::string answering = orvauth_base::FirstAnswering(tried, PROBE_BOUND, port);
        if (!answering.empty()) {
            return {tried, answering};
        }
        std::string names;
        for (const std::string& name : tried) {
            names += (names.empty() ? "" : ", ") + name;
        }
        reason = "no domain controller of " + domain + " answered within " +
                 std::to_string(PROBE_BOUND.count()) + " ms (tried " + names +
                 "): check that they are running and that this host reaches their LDAP port (TCP " + port + ")";
    }
    syslog(LOG_WARNING, "adclient: %s", reason.c_str());
    orvauth_plugin::Fail(status, reason);
}

}  // namespace adclient
