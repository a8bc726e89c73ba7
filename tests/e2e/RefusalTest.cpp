// What the tool answers to bad input.
#include "HostSandbox.h"

#include <orvane/authentication/ActiveDirectoryConfigStore.h>
#include <orvane/authentication/Exceptions.h>

namespace e2e {
namespace {

using namespace orvane::authentication;
using orvauth_test::ConfigFile;
using orvauth_test::ReadFile;
using orvauth_test::WriteFile;
using ::testing::HasSubstr;

// The message the library gives for a directory status code.
std::string MappedMessage(uint32_t status)
{
    try {
        ThrowMappedException(status);
    } catch (const std::exception& e) {
        return e.what();
    }
}

class RefusalTest : public HostSandbox {
protected:
    void SetUp() override
    {
        HostSandbox::SetUp();
        WriteFile(host.File("garbage.pem"), "-----BEGIN CERTIFICATE-----\nnot base64 at all\n-----END CERTIFICATE-----\n");
    }

    // The files and records a refused command must leave as they were.
    std::string HostState() const
    {
        return ReadFile(ConfigFile("authentication.conf")) + "|" + ReadFile(ConfigFile("jorvservers.conf")) + "|" +
               HostFile("hosts") + "|" + HostFile("resolv.conf") + "|" + PluginState("simdirectory") + "|" +
               PluginState("simproxy") + "|" +
               std::to_string(Record(ActiveDirectoryConfigStore::AD_CSO_ID).size()) + "|" +
               std::to_string(Record(ActiveDirectoryConfigStore::AUTH_PROXY_CERT_CSO_ID).size());
    }
};

struct Refusal {
    const char* name;
    std::vector<std::string> words;
    std::string input;
    int status;
    std::string message;
};

// Every refusal leaves the host as it was. A refusal by the library (exit
// status 1) prints its message and nothing else; a usage error (2) adds a
// hint to the help.
TEST_F(RefusalTest, RefusalsShowTheirMessageAndChangeNothing)
{
    const std::string joinUser = ADMIN_USER;
    const Refusal refusals[] = {
        {"unknown store", {"activate", "none"}, "", 1, UnknownRemoteAuthenticationStoreException("none").what()},
        // The host-name check is skipped: it prepares the hosts file and DNS
        // search list before the directory is asked, and keeps them.
        {"wrong password (retried by the library, then reported)",
         {"join", DOMAIN_NAME, "--user", joinUser, "--password-stdin", "--skip-hostname-check"}, "wrong\n", 1,
         MappedMessage(1326)},
        {"empty password", {"join", DOMAIN_NAME, "--user", joinUser, "--password-stdin"}, "\n", 1,
         InvalidCredentialsException("empty or no password was specified; the account must have a non-empty "
                                     "password to join the host to domain")
             .what()},
        {"proxy address not IPv4", {"join-proxy", "192.0.2.300"}, "", 1,
         InvalidIPAddressException("IPv4 address '192.0.2.300' cannot be parsed as an IP address").what()},
        {"proxy given by name", {"proxy-domain", "jorv.corp.example.test"}, "", 1,
         InvalidIPAddressException("IPv4 address 'jorv.corp.example.test' cannot be parsed as an IP address")
             .what()},
        {"malformed certificate", {"import-cert", host.File("garbage.pem")}, "", 1,
         InvalidCertificateException().what()},
        {"malformed certificate for one proxy",
         {"--no-config-store", "import-cert", host.File("garbage.pem"), PROXY_ADDRESS}, "", 1,
         InvalidCertificateException().what()},
        {"missing certificate file for one proxy",
         {"--no-config-store", "import-cert", host.File("absent.pem"), PROXY_ADDRESS}, "", 1,
         FileNotFoundException().what()},
        {"leave while not joined", {"leave"}, "", 1, MappedMessage(2)},
        {"unknown command", {"frobnicate"}, "", 2, "unknown command 'frobnicate'"},
        {"unknown option", {"stores", "--colour"}, "", 2, "unknown option '--colour'"},
        {"missing operand", {"activate"}, "", 2, "activate: missing operand (<store>)"},
        {"extra operand", {"status", "now"}, "", 2, "status: unexpected operand 'now'"},
        {"join without user", {"join", DOMAIN_NAME, "--password-stdin"}, "pw\n", 2, "join needs --user <name>"},
        {"option without its value", {"join-proxy", PROXY_ADDRESS, "--ou"}, "", 2,
         "option '--ou' needs a value <ou>"},
        {"no terminal for the password", {"join", DOMAIN_NAME, "--user", ADMIN_USER}, "", 2,
         "standard input is not a terminal: pass the password with --password-stdin"},
        {"invalid management address", {"--management-interface", "eth0=192.0.2.256", "leave"}, "", 2,
         "'192.0.2.256' is not an IPv4 address (--management-interface)"},
        {"verification flag out of range", {"--verify-proxy-cert", "2", "join-proxy", PROXY_ADDRESS}, "", 2,
         "--verify-proxy-cert takes 0 or 1, not '2'"},
        {"unknown action", {"smartcard", "clear"}, "", 2, "unknown action 'clear' (expected: get or set)"},
    };
    for (const Refusal& refusal : refusals) {
        SCOPED_TRACE(refusal.name);
        const std::string before = HostState();
        ChildResult result = Tool(refusal.words, refusal.input);
        EXPECT_EQ(refusal.status, result.status);
        const std::string message = "orvauthctl: " + refusal.message + "\n";
        if (refusal.status == 1) {
            EXPECT_EQ(message, result.err);
        } else {
            EXPECT_EQ(0u, result.err.find(message + "Try 'orvauthctl ")) << result.err;
        }
        EXPECT_EQ("", result.out);
        EXPECT_EQ(before, HostState());
    }
}

TEST_F(RefusalTest, UnusableDirectoryClientIsReportedByStatusAndCommands)
{
    WriteFile(ConfigFile("provider.conf"), "provider = \"absent\"\n");
    WriteFile(ConfigFile("authentication.conf"), "remote-authentication-store = \"Active Directory\"\n");
    const std::string message = InvalidActiveDirectoryProviderException("absent").what();

    ChildResult status = Tool({"status", "--json"});
    EXPECT_EQ(1, status.status);
    EXPECT_THAT(status.out, HasSubstr("\"directory\":{\"available\":false,\"error\":\"" + message + "\"}"));

    ChildResult join = Tool({"join", DOMAIN_NAME, "--user", ADMIN_USER, "--password-stdin"}, "pw\n");
    EXPECT_EQ(1, join.status);
    EXPECT_EQ("orvauthctl: " + message + "\n", join.err);
}

}  // namespace
}  // namespace e2e
