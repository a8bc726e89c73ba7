// The service's side of the directory: LDAP over TLS (ldaps://, or ldap://
// upgraded with StartTLS), the server's certificate verified against the
// configured CA, bound with the service's own credentials. Each request
// opens and closes its own connection.
#pragma once

#include "RequestChecks.h"
#include "ServiceConfiguration.h"
#include "base/Secret.h"

#include <mutex>
#include <string>

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

    // Throws RequestFailure (1355 unreachable, 1326 credentials refused,
    // 1359 anything else).
    DomainInformation Describe();

    // Creates the computer account for hostName in container (empty: the
    // configured default) with password, or gives an existing workstation
    // account of that name the password. Refuses to touch any other kind of
    // account (5). Throws RequestFailure.
    CreatedAccount CreateOrReset(const std::string& hostName, const std::string& container,
                                 const orvauth_base::SecretString& password);

private:
    std::string uri;
    std::string caFile;
    std::string defaultContainer;
    DirectoryCredentials credentials;
    // Two creations for one host must not race between search and add.
    std::mutex creating;
};

// A fresh random password for a machine account: 32 characters from letters
// and digits, with at least one of each kind.
orvauth_base::SecretString NewOneTimePassword();

}  // namespace orvauth_proxyd
