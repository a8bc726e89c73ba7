// The service's side of the directory: LDAP over TLS (ldaps://, or ldap://
// upgraded with StartTLS), the server's certificate verified against the
// configured CA, bound with the service's own credentials. A few bound
// connections are kept and reused; one that fails is dropped and the
// request retried once on a fresh one.
#pragma once

#include "RequestChecks.h"
#include "ServiceConfiguration.h"
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

    // Creates the computer account for hostName in container (empty: the
    // configured default), which must be one of the allowed containers, with
    // password, marked as the service's own; or gives the password to an
    // existing account of that name that the service created, that lies in
    // an allowed container and that is a plain workstation account. Refuses
    // (5) reserved names and any other account. Throws RequestFailure, whose
    // text is for the log only.
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
