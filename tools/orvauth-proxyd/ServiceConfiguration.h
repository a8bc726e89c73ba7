// The service's configuration file and its directory credentials.
//
//   listen_address = "192.0.2.10"
//   listen_port = "9640"                       (optional)
//   certificate = "/etc/orvane/orvauth-proxyd/server.pem"
//   private_key = "/etc/orvane/orvauth-proxyd/server.key"   (mode 0600 or stricter)
//   credentials = "/etc/orvane/orvauth-proxyd/credentials"  (mode 0600 or stricter)
//   directory_uri = "ldaps://dc1.corp.example.test"         (ldap:// is upgraded with StartTLS)
//   directory_ca_file = "/etc/orvane/orvauth-proxyd/directory-ca.pem"
//   default_container = "CN=Computers"          (optional; relative to the domain or a full DN)
//   client_ca_file = "/etc/orvane/orvauth-proxyd/hosts-ca.pem"  (CAs that issue the hosts' certificates)
//   client_crl_file = "/etc/orvane/orvauth-proxyd/hosts.crl"    (optional)
//   allowed_containers = "OU=Hypervisors; CN=Computers"  (optional; default: default_container)
//   max_account_requests_per_minute = "10"      (optional; per client certificate)
//   allowed_dns_suffixes = "corp.example.test; lab.corp.example.test"
//                                               (optional; default: the directory's DNS domain)
//
// Lines starting with '#' and blank lines are ignored.
// The credentials file holds two lines, "user = <name>" (a user principal
// name or a DN) and "password = <rest of the line>".
#pragma once

#include "base/Secret.h"

#include <stdexcept>
#include <string>
#include <vector>

namespace orvauth_proxyd {

struct ConfigurationRefused : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct DirectoryCredentials {
    std::string user;
    orvauth_base::SecretString password;
};

struct ServiceConfiguration {
    std::string listenAddress;
    int listenPort = 0;
    std::string certificate;
    std::string privateKey;
    std::string credentials;
    std::string directoryUri;
    std::string directoryCaFile;
    std::string defaultContainer;
    std::string clientCaFile;
    std::string clientCrlFile;                // empty: no CRL
    std::vector<std::string> allowedContainers;  // never empty
    unsigned maxAccountRequestsPerMinute = 10;
    // Host names must lie under one of these, in lower case; empty: under
    // the directory's DNS domain.
    std::vector<std::string> allowedDnsSuffixes;
};

// Throws ConfigurationRefused naming the file and what is wrong with it.
ServiceConfiguration ReadServiceConfiguration(const std::string& path);

// Opens path for reading and refuses a file that is not a regular file or
// that its group or others may access in any way. Returns the descriptor.
int OpenPrivateFile(const std::string& path);

DirectoryCredentials ReadCredentials(const std::string& path);

}  // namespace orvauth_proxyd
