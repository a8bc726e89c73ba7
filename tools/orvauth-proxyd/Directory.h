// The service's side of the directory: LDAP over TLS (ldaps://, or ldap://
// upgraded with StartTLS), the server's certificate verified against the
// configured CA, bound with the service's own credentials. A few bound
// connections are kept and reused; one that fails is dropped and the
// request retried once on a fresh one.
#pragma once

#include "RequestChecks.h"
#include "ServiceConfiguration.h"
#include "base/ProxyProtocol.h"
#include "base/Secret.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace orvauth_proxyd {

struct DomainInformation {
    std::string netbiosName;
    std::string dnsName;
    std::string sid;  // S-1-5-21-...
};

struct CreatedAccount {
    std::string accountName;  // sAMAccountName, e.g. NODE01$
    std::string dn;
    bool reused = false;      // an existing account got the new password
    std::string unrecorded;   // why the password's time was not recorded, "" when it was
};

// The service's own directory account cannot be used: it is over-privileged,
// or the directory does not show enough of it to tell.
struct ServiceAccountRefused : RequestFailure {
    explicit ServiceAccountRefused(const std::string& text)
        : RequestFailure(orvauth_proxy::SERVICE_LOGON_FAILURE, text, orvauth_proxy::reason::DIRECTORY)
    {
    }
};

class Directory {
public:
    Directory(const ServiceConfiguration& settings, DirectoryCredentials credentials);
    ~Directory();

    // New settings and credentials for the requests that start from now on;
    // the connections kept so far are dropped.
    void Reconfigure(const ServiceConfiguration& settings, DirectoryCredentials credentials);

    // Throws RequestFailure (1355 unreachable, 1326 credentials refused,
    // 1359 anything else). Answers from memory for a minute.
    DomainInformation Describe();

    // Throws ServiceAccountRefused when the service's own account is a
    // member (directly or not) of Domain Admins, Enterprise Admins,
    // Administrators or Account Operators, or when its entry cannot be read;
    // RequestFailure as Describe() when the directory cannot be asked. Every
    // request checks the same before it touches an account.
    void CheckServiceAccount();

    // Creates the computer account for hostName in container (empty: the
    // configured default), which must be one of the allowed containers, with
    // password, marked as the service's own and hostName as its
    // dNSHostName; or gives the password to an existing account of that
    // name that ReasonNotToReset() leaves to the service. Either way records
    // the password's pwdLastSet. Refuses (5) reserved names, names under
    // none of the allowed DNS suffixes and any other account. Throws
    // RequestFailure, whose text is for the log only.
    CreatedAccount CreateOrReset(const std::string& hostName, const std::string& container,
                                 const orvauth_base::SecretString& password);

    struct Pool;

private:
    std::shared_ptr<Pool> CurrentPool();

    std::mutex lock;  // guards pool and the cached description
    std::shared_ptr<Pool> pool;
    DomainInformation described;
    std::chrono::steady_clock::time_point describedAt{};

    // Two requests for one name must not race between search and add.
    std::mutex namesLock;
    std::condition_variable nameFreed;
    std::set<std::string> namesInUse;
};

// A fresh random password for a machine account: 32 characters from letters
// and digits, with at least one of each kind.
orvauth_base::SecretString NewOneTimePassword();

}  // namespace orvauth_proxyd
