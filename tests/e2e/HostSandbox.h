// A sandboxed host for running orvauthctl end to end: the library's
// configuration files in the build's configuration directory, the reference
// plug-ins' state files in its plug-in directory, and the host's own files
// (configuration store, hosts file, resolv.conf, the resolver's view of
// names) in a temporary directory. The tool runs under nss_wrapper, which
// answers gethostname and host lookups from the sandbox.
#pragma once

#include "ChildProcess.h"

#include "common/Files.h"

#include <platform/QelConfigStore.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace e2e {

// The simulated domain and proxy.
extern const char* const DOMAIN_NAME;      // corp.example.test
extern const char* const ADMIN_USER;       // administrator
extern const char* const ADMIN_PASSWORD;
extern const char* const PROXY_ADDRESS;    // 192.0.2.10

class HostSandbox : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();
    void SetUp() override;
    void TearDown() override;

    // orvauthctl with the sandbox's global options, then words (which may
    // begin with further global options).
    ChildResult Tool(const std::vector<std::string>& words, const std::string& input = "") const;
    // orvauthctl with exactly these words.
    static ChildResult BareTool(const std::vector<std::string>& words, const std::string& input = "");

    // A record of the sandbox's configuration store; empty when absent.
    std::map<std::string, std::string> Record(const QelConfigStore::ConfigStoreObjectId& id) const;
    std::string HostFile(const std::string& name) const { return orvauth_test::ReadFile(host.File(name)); }
    static std::string PluginState(const std::string& plugin);

    // The proxy's certificate as a PEM file, its thumbprint as openssl
    // prints it, and a certificate of another server.
    static const std::string& ProxyCertificate();
    static const std::string& ProxyThumbprint();
    static const std::string& OtherCertificate();

    orvauth_test::TempDir host;
};

// The line "key = value" is in the state text.
::testing::AssertionResult HasStateLine(const std::string& state, const std::string& line);

}  // namespace e2e
