#include "HostSandbox.h"

#include "BuildPaths.h"

#include <cstdlib>
#include <memory>
#include <stdexcept>

namespace e2e {

using orvauth_test::ConfigFile;
using orvauth_test::WriteFile;

const char* const DOMAIN_NAME = "corp.example.test";
const char* const ADMIN_USER = "administrator";
const char* const ADMIN_PASSWORD = "Secret#1 with blanks ";
const char* const PROXY_ADDRESS = "192.0.2.10";

namespace {

struct Certificates {
    orvauth_test::TempDir directory;
    std::string proxy = directory.File("jorv.pem");
    std::string other = directory.File("other.pem");
    std::string proxyThumbprint;
};

std::unique_ptr<Certificates> certificates;

std::string Openssl(const std::vector<std::string>& arguments)
{
    std::vector<std::string> argv{"openssl"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    ChildResult result = RunChild(argv);
    if (result.status != 0) {
        throw std::runtime_error("openssl failed: " + result.err);
    }
    return result.out;
}

void MakeCertificate(const std::string& path, const std::string& name)
{
    Openssl({"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-days", "30",
             "-subj", "/CN=" + name, "-keyout", path + ".key", "-out", path});
}

std::string PluginStatePath(const std::string& plugin)
{
    return std::string(ORVAUTH_PLUGIN_DIR) + "/" + plugin + ".state";
}

// The built tool, with nss_wrapper answering gethostname ("node01") and, from
// resolverHosts, host lookups, and with sleep() returning at once.
ChildResult RunTool(const std::vector<std::string>& words, const std::string& input, const std::string& resolverHosts)
{
    std::vector<std::string> argv{ORVAUTHCTL_PATH};
    argv.insert(argv.end(), words.begin(), words.end());
    const char* asanOptions = std::getenv("ASAN_OPTIONS");
    // The preloaded libraries come before the sanitizer runtime.
    return RunChild(argv,
                    {{"LD_PRELOAD", std::string(NSS_WRAPPER_LIBRARY) + " " + INSTANT_SLEEP_LIBRARY},
                     {"NSS_WRAPPER_HOSTNAME", "node01"},
                     {"NSS_WRAPPER_HOSTS", resolverHosts},
                     {"ASAN_OPTIONS", std::string(asanOptions ? asanOptions : "") + ":verify_asan_link_order=0"}},
                    input);
}

}  // namespace

void HostSandbox::SetUpTestSuite()
{
    certificates.reset(new Certificates);
    MakeCertificate(certificates->proxy, "jorv.corp.example.test");
    MakeCertificate(certificates->other, "impostor.example.test");
    // What `openssl x509 -fingerprint -sha1` prints after "Fingerprint=".
    const std::string output = Openssl({"x509", "-noout", "-fingerprint", "-sha1", "-in", certificates->proxy});
    certificates->proxyThumbprint = output.substr(output.find('=') + 1);
    certificates->proxyThumbprint.erase(certificates->proxyThumbprint.find_last_not_of("\r\n") + 1);
}

void HostSandbox::TearDownTestSuite() { certificates.reset(); }

const std::string& HostSandbox::ProxyCertificate() { return certificates->proxy; }
const std::string& HostSandbox::ProxyThumbprint() { return certificates->proxyThumbprint; }
const std::string& HostSandbox::OtherCertificate() { return certificates->other; }

void HostSandbox::SetUp()
{
    if (std::string(NSS_WRAPPER_LIBRARY).empty()) {
        GTEST_SKIP() << "nss_wrapper (package libnss-wrapper) is needed to give the tool a host name";
    }
    orvauth_test::ResetConfigDir();
    WriteFile(ConfigFile("authentication.conf"), "remote-authentication-store = \"None\"\n");
    WriteFile(ConfigFile("provider.conf"), "provider = \"simdirectory\"\n");
    WriteFile(ConfigFile("jorvprovider.conf"), "provider = \"simproxy\"\n");
    WriteFile(ConfigFile("jorvservers.conf"), "");
    const std::string domain = "domain = corp.example.test\nnetbios = CORP\n"
                               "sid = S-1-5-21-3623811015-3361044348-30300820\n";
    WriteFile(PluginStatePath("simdirectory"), domain + "user = administrator:" + ADMIN_PASSWORD + "\n"
                                               "controller = dc1.corp.example.test\n"
                                               "trusted_domain = emea.corp.example.test EMEA\n"
                                               "trusted_domain = partner.example.org PARTNER 3\n"
                                               "trust_state = 1\n");
    WriteFile(PluginStatePath("simproxy"),
              domain + "container = OU=Hypervisors,OU=Servers\nserver = 192.0.2.10 " + ProxyCertificate() + "\n");

    // The resolver's answers: the host is in another DNS zone than the
    // domain, and the domain's name resolves.
    WriteFile(host.File("resolver-hosts"), "192.0.2.21 node01.lab.example.test node01\n192.0.2.1 corp.example.test\n");
    WriteFile(host.File("hosts"), "127.0.0.1\tlocalhost\n");
    WriteFile(host.File("resolv.conf"), "nameserver 192.0.2.53\nsearch lab.example.test\n");
}

void HostSandbox::TearDown()
{
    std::remove(PluginStatePath("simdirectory").c_str());
    std::remove(PluginStatePath("simproxy").c_str());
}

ChildResult HostSandbox::BareTool(const std::vector<std::string>& words, const std::string& input)
{
    return RunTool(words, input, "");
}

ChildResult HostSandbox::Tool(const std::vector<std::string>& words, const std::string& input) const
{
    std::vector<std::string> all{"--config-store", host.File("configstore.db"), "--hosts-file", host.File("hosts"),
                                 "--resolv-conf", host.File("resolv.conf"), "--management-interface", "eth0=192.0.2.21"};
    all.insert(all.end(), words.begin(), words.end());
    return RunTool(all, input, host.File("resolver-hosts"));
}

std::map<std::string, std::string> HostSandbox::Record(const QelConfigStore::ConfigStoreObjectId& id) const
{
    QelConfigStore::ConfigStore store(QelConfigStore::sGlobalNamespace, host.File("configstore.db"));
    std::shared_ptr<QelConfigStore::ConfigStoreObject> record = store.GetObject(id);
    return record ? record->GetValues() : std::map<std::string, std::string>();
}

std::string HostSandbox::PluginState(const std::string& plugin)
{
    return orvauth_test::FileExists(PluginStatePath(plugin)) ? orvauth_test::ReadFile(PluginStatePath(plugin)) : "";
}

::testing::AssertionResult HasStateLine(const std::string& state, const std::string& line)
{
    if (("\n" + state).find("\n" + line + "\n") != std::string::npos) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "no line '" << line << "' in:\n" << state;
}

}  // namespace e2e
