// Importing a proxy's certificate: thumbprints checked against the openssl
// command line as an independent oracle, on the system's own authority
// certificates and on generated ones; where the thumbprint is kept; what is
// refused and what is left untouched then.
#include "JORVSandbox.h"

#include "common/Files.h"
#include "common/SyslogRecorder.h"

#include <orvane/authentication/ActiveDirectoryConfigStore.h>
#include <orvane/authentication/Configuration.h>
#include <orvane/authentication/Exceptions.h>

#include <platform/PlatformSettings.h>

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <syslog.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using namespace orvane::authentication;
using jorv_test::JORVSandbox;
using jorv_test::PROXY_ADDRESS;
using orvauth_test::LogLine;

namespace {

const char MOZILLA_AUTHORITIES[] = "/usr/share/ca-certificates/mozilla";

std::string ShellQuote(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

// Output of a shell command that must succeed.
std::string RunCommand(const std::string& command)
{
    std::FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
    if (pipe == nullptr) {
        throw std::runtime_error("cannot run " + command);
    }
    std::string output;
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        output.append(buffer, got);
    }
    const int status = pclose(pipe);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        throw std::runtime_error("command failed: " + command);
    }
    return output;
}

// What `openssl x509 -fingerprint -sha1` prints after "SHA1 Fingerprint="
// (spelt "sha1 Fingerprint=" by some versions).
std::string OracleThumbprint(const std::string& pemPath)
{
    const std::string output = RunCommand("openssl x509 -noout -fingerprint -sha1 -in " + ShellQuote(pemPath));
    const std::string marker = " Fingerprint=";
    const std::string::size_type at = output.find(marker);
    if (at == std::string::npos) {
        throw std::runtime_error("unexpected openssl output: " + output);
    }
    std::string thumbprint = output.substr(at + marker.size());
    thumbprint.erase(thumbprint.find_last_not_of("\r\n") + 1);
    return thumbprint;
}

// A fresh self-signed certificate; with lowFirstByte, regenerated until its
// SHA-1 digest starts with a byte below 0x10 (one try in sixteen).
std::string GenerateCertificate(const std::string& directory, const std::string& name, bool lowFirstByte)
{
    const std::string certificate = directory + "/" + name + ".pem";
    for (int attempt = 0; attempt < 400; ++attempt) {
        RunCommand("openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 30 -subj /CN=" + name +
            ".corp.example -keyout " + ShellQuote(directory + "/" + name + ".key") + " -out " + ShellQuote(certificate));
        if (!lowFirstByte || OracleThumbprint(certificate)[0] == '0') {
            return certificate;
        }
    }
    throw std::runtime_error("no certificate with a low first digest byte");
}

// Every fifth authority certificate of the system, in name order: a fixed
// sample of real-world certificates, small enough that the oracle's process
// per certificate stays cheap.
std::vector<std::string> SystemAuthorities()
{
    std::vector<std::string> paths;
    unsigned index = 0;
    for (const std::string& name : orvauth_test::ListDirectory(MOZILLA_AUTHORITIES)) {
        if (name.size() > 4 && name.compare(name.size() - 4, 4, ".crt") == 0 && index++ % 5 == 0) {
            paths.push_back(std::string(MOZILLA_AUTHORITIES) + "/" + name);
        }
    }
    return paths;
}

class CertificateTrust : public JORVSandbox {
protected:
    // The thumbprint recorded for the proxy in jorvservers.conf.
    std::string ListedThumbprint(const std::string& server = PROXY_ADDRESS) const
    {
        return JORVThumbprintStore(ServersPath()).LookupThumbprint(server);
    }
    bool HasCertificateRecord() const
    {
        QelConfigStore::ConfigStore database(QelConfigStore::sGlobalNamespace, DatabasePath());
        return database.GetObject(ActiveDirectoryConfigStore::AUTH_PROXY_CERT_CSO_ID) != nullptr;
    }

    orvauth_test::TempDir certificates;
};

// --- thumbprints -------------------------------------------------------------

TEST_F(CertificateTrust, ThumbprintsOfTheSystemAuthoritiesMatchOpenSSL)
{
    const std::vector<std::string> authorities = SystemAuthorities();
    if (authorities.empty()) {
        GTEST_SKIP() << "no authority certificates in " << MOZILLA_AUTHORITIES;
    }
    UseConfigurationStore(false);
    for (const std::string& path : authorities) {
        store->ImportCertificateForJORV(path, PROXY_ADDRESS);
        const std::string thumbprint = ListedThumbprint();
        EXPECT_EQ(OracleThumbprint(path), thumbprint) << path;
        EXPECT_EQ(59u, thumbprint.size()) << path;
    }
}

TEST_F(CertificateTrust, ADigestStartingBelow0x10KeepsItsLeadingZero)
{
    const std::string path = GenerateCertificate(certificates.Path(), "low", true);
    const std::string expected = OracleThumbprint(path);
    ASSERT_EQ('0', expected[0]);
    const std::string pem = orvauth_test::ReadFile(path);

    store->ImportCertificateForJORV(pem);
    ActiveDirectoryConfigStore record;
    EXPECT_EQ(expected, record.GetThumbprint());
    EXPECT_EQ(pem, record.GetCertificate());

    UseConfigurationStore(false);
    store->ImportCertificateForJORV(path, PROXY_ADDRESS);
    EXPECT_EQ(expected, ListedThumbprint());
}

TEST_F(CertificateTrust, OnlyTheFirstCertificateOfATextCounts)
{
    const std::string first = GenerateCertificate(certificates.Path(), "first", false);
    const std::string second = GenerateCertificate(certificates.Path(), "second", false);
    const std::string both = orvauth_test::ReadFile(first) + orvauth_test::ReadFile(second);

    store->ImportCertificateForJORV(both);
    EXPECT_EQ(OracleThumbprint(first), ActiveDirectoryConfigStore().GetThumbprint());

    UseConfigurationStore(false);
    orvauth_test::WriteFile(certificates.File("both.pem"), both);
    store->ImportCertificateForJORV(certificates.File("both.pem"), PROXY_ADDRESS);
    EXPECT_EQ(OracleThumbprint(first), ListedThumbprint());
}

// --- where the thumbprint goes ----------------------------------------------------

TEST_F(CertificateTrust, WithTheConfigurationStoreAFileIsTrustedForEveryProxy)
{
    const std::string path = GenerateCertificate(certificates.Path(), "shared", false);
    // The address plays no part here, not even as something to check.
    store->ImportCertificateForJORV(path, "proxy.corp.example");
    ActiveDirectoryConfigStore record;
    EXPECT_EQ(OracleThumbprint(path), record.GetThumbprint());
    EXPECT_EQ(orvauth_test::ReadFile(path), record.GetCertificate());
    EXPECT_EQ(ServersFileBefore(), orvauth_test::ReadFile(ServersPath()));
}

TEST_F(CertificateTrust, WithoutTheConfigurationStoreEachProxyHasItsOwnLine)
{
    UseConfigurationStore(false);
    const std::string path = GenerateCertificate(certificates.Path(), "other", false);
    store->ImportCertificateForJORV(path, jorv_test::OTHER_PROXY_ADDRESS);
    EXPECT_EQ(OracleThumbprint(path), ListedThumbprint(jorv_test::OTHER_PROXY_ADDRESS));
    EXPECT_EQ(jorv_test::LISTED_THUMBPRINT, ListedThumbprint());
    EXPECT_FALSE(HasCertificateRecord());
}

// --- refusals ------------------------------------------------------------------------

TEST_F(CertificateTrust, UnreadableCertificatesAreRefusedAndNothingIsStored)
{
    const std::string good = GenerateCertificate(certificates.Path(), "good", false);
    const std::string pem = orvauth_test::ReadFile(good);
    RunCommand("openssl x509 -in " + ShellQuote(good) + " -outform DER -out " + ShellQuote(certificates.File("good.der")));

    struct Case {
        const char* what;
        std::string text;
    };
    const Case cases[] = {
        {"DER encoding", orvauth_test::ReadFile(certificates.File("good.der"))},
        {"empty text", ""},
        {"plain text", "this is not a certificate\n"},
        {"truncated PEM", pem.substr(0, pem.size() / 2)},
        {"damaged body", pem.substr(0, 40) + "!!!!" + pem.substr(44)},
        {"NUL before the PEM", std::string(1, '\0') + pem},
        {"private key", orvauth_test::ReadFile(certificates.File("good.key"))},
    };
    for (const Case& bad : cases) {
        SCOPED_TRACE(bad.what);
        const std::string path = certificates.File("bad.pem");
        orvauth_test::WriteFile(path, bad.text);

        UseConfigurationStore(true);
        EXPECT_THROW(store->ImportCertificateForJORV(bad.text), InvalidCertificateException);
        EXPECT_THROW(store->ImportCertificateForJORV(path, PROXY_ADDRESS), InvalidCertificateException);
        EXPECT_FALSE(HasCertificateRecord());

        UseConfigurationStore(false);
        EXPECT_THROW(store->ImportCertificateForJORV(path, PROXY_ADDRESS), InvalidCertificateException);
        EXPECT_EQ(ServersFileBefore(), orvauth_test::ReadFile(ServersPath()));
    }
    EXPECT_TRUE(orvauth_test::LoggedLines().empty());
}

TEST_F(CertificateTrust, AMissingFileIsFileNotFoundInBothBranches)
{
    for (bool configurationStore : {true, false}) {
        UseConfigurationStore(configurationStore);
        try {
            store->ImportCertificateForJORV(certificates.File("absent.pem"), PROXY_ADDRESS);
            ADD_FAILURE() << "imported a missing file";
        } catch (const FileNotFoundException& error) {
            EXPECT_EQ(2u, error.Code());
            EXPECT_STREQ("Exception 0x00000002: The system cannot find the file specified.", error.what());
        }
    }
}

TEST_F(CertificateTrust, WithoutTheConfigurationStoreTheAddressIsCheckedFirst)
{
    UseConfigurationStore(false);
    try {
        store->ImportCertificateForJORV(certificates.File("absent.pem"), "proxy.corp.example");
        ADD_FAILURE() << "host name accepted as address";
    } catch (const InvalidIPAddressException& error) {
        EXPECT_STREQ("The IP Address is invalid: IPv4 address 'proxy.corp.example' cannot be parsed as an IP address",
                     error.what());
    }
}

TEST_F(CertificateTrust, AMissingServerListIsAnInvalidThumbprintStore)
{
    UseConfigurationStore(false);
    const std::string path = GenerateCertificate(certificates.Path(), "unlisted", false);
    std::remove(ServersPath().c_str());
    try {
        store->ImportCertificateForJORV(path, PROXY_ADDRESS);
        ADD_FAILURE() << "imported without jorvservers.conf";
    } catch (const InvalidThumbprintStoreException& error) {
        EXPECT_EQ("The specified thumbprint store '" + ServersPath() + "' is invalid", error.what());
    }
    EXPECT_FALSE(orvauth_test::FileExists(ServersPath()));
}

TEST_F(CertificateTrust, AConfigurationStoreFailureIsLoggedAndPassedOn)
{
    const std::string path = GenerateCertificate(certificates.Path(), "unstored", false);
    membership_test::RecordingConfigStore& recording = InstallRecordingStore();
    recording.setFailure = membership_test::StoreFailure::ConfigStore;

    const std::vector<std::function<void()>> imports = {
        [&] { store->ImportCertificateForJORV(orvauth_test::ReadFile(path)); },
        [&] { store->ImportCertificateForJORV(path, PROXY_ADDRESS); },
    };
    for (const auto& import : imports) {
        orvauth_test::ClearLoggedLines();
        try {
            import();
            ADD_FAILURE() << "store failure swallowed";
        } catch (const QelConfigStore::ConfigStoreException& error) {
            EXPECT_STREQ("database is locked", error.what());
        }
        EXPECT_EQ(std::vector<LogLine>({{LOG_ERR, "Failed to store thumbprint to Config Store: database is locked"}}),
                  orvauth_test::LoggedLines());
    }
    EXPECT_FALSE(HasCertificateRecord());
}

}  // namespace
