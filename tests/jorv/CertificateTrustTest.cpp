// Importing a proxy's certificate: thumbprints checked against the openssl
// command line as an independent oracle, on the system's own authority
// certificates and on generated ones; where the thumbprint is kept; what is
// refused and what is left untouched then.
#include "JORVSandbox.h"

#include <orvane/authentication/ActiveDirectoryConfigStore.h>
#include <orvane/authentication/Configuration.h>
#include <orvane/authentication/Exceptions.h>

#include <sys/wait.h>
#include <syslog.h>

#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

using namespace orvane::authentication;
using namespace jorv_test;
using membership_test::ExpectRefused;
using membership_test::Record;
using orvauth_test::ReadFile;

namespace {

const char AUTHORITIES[] = "/usr/share/ca-certificates/mozilla";

// Output of a shell command that must succeed; arguments are our own paths
// in temporary directories, free of quotes.
std::string RunCommand(const std::string& command)
{
    std::FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
    std::string output;
    char buffer[4096];
    for (size_t got; pipe != nullptr && (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        output.append(buffer, got);
    }
    const int status = pipe != nullptr ? pclose(pipe) : -1;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        throw std::runtime_error("command failed: " + command);
    }
    return output;
}

// What `openssl x509 -fingerprint -sha1` prints after "SHA1 Fingerprint="
// (spelt "sha1 Fingerprint=" by some versions).
std::string OracleThumbprint(const std::string& pemPath)
{
    const std::string output = RunCommand("openssl x509 -noout -fingerprint -sha1 -in '" + pemPath + "'");
    const std::string::size_type at = output.find(" Fingerprint=");
    if (at == std::string::npos) {
        throw std::runtime_error("unexpected openssl output: " + output);
    }
    std::string thumbprint = output.substr(at + 13);
    return thumbprint.erase(thumbprint.find_last_not_of("\r\n") + 1);
}

class CertificateTrust : public JORVSandbox {
protected:
    // A fresh self-signed certificate (and its .key); with lowFirstByte,
    // regenerated until its digest starts below 0x10 (one try in sixteen).
    std::string Generate(const std::string& name, bool lowFirstByte = false)
    {
        const std::string path = certificates.File(name + ".pem");
        for (int attempt = 0; attempt < 400; ++attempt) {
            RunCommand("openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 30 -subj /CN=" +
                       name + " -keyout '" + certificates.File(name + ".key") + "' -out '" + path + "'");
            if (!lowFirstByte || OracleThumbprint(path)[0] == '0') {
                return path;
            }
        }
        throw std::runtime_error("no certificate with a low first digest byte");
    }

    std::string ListedThumbprint(const std::string& server = PROXY_ADDRESS) const
    {
        return JORVThumbprintStore(ServersPath()).LookupThumbprint(server);
    }

    orvauth_test::TempDir certificates;
};

TEST_F(CertificateTrust, ThumbprintsOfTheSystemAuthoritiesMatchOpenSSL)
{
    // Every fifth, in name order: a fixed sample of real-world certificates.
    std::vector<std::string> authorities;
    unsigned index = 0;
    for (const std::string& name : orvauth_test::ListDirectory(AUTHORITIES)) {
        if (name.size() > 4 && name.compare(name.size() - 4, 4, ".crt") == 0 && index++ % 5 == 0) {
            authorities.push_back(std::string(AUTHORITIES) + "/" + name);
        }
    }
    if (authorities.empty()) {
        GTEST_SKIP() << "no authority certificates in " << AUTHORITIES;
    }
    UseConfigurationStore(false);
    for (const std::string& path : authorities) {
        store->ImportCertificateForJORV(path, PROXY_ADDRESS);
        EXPECT_EQ(OracleThumbprint(path), ListedThumbprint()) << path;
    }
}

TEST_F(CertificateTrust, EveryBranchKeepsTheLeadingZeroAndOnlyTheFirstCertificateCounts)
{
    const std::string low = Generate("low", true);
    const std::string expected = OracleThumbprint(low);
    ASSERT_EQ('0', expected[0]);
    const std::string both = ReadFile(low) + ReadFile(Generate("second"));
    orvauth_test::WriteFile(certificates.File("both.pem"), both);

    // Without the configuration store: one line per proxy, no record.
    UseConfigurationStore(false);
    store->ImportCertificateForJORV(certificates.File("both.pem"), OTHER_PROXY_ADDRESS);
    EXPECT_EQ(expected, ListedThumbprint(OTHER_PROXY_ADDRESS));
    EXPECT_EQ(LISTED_THUMBPRINT, ListedThumbprint());
    EXPECT_TRUE(CertificateRecord().empty());

    // With it: one certificate for every proxy; a file's address is not even checked.
    UseConfigurationStore(true);
    const std::string serversFile = ReadFile(ServersPath());
    store->ImportCertificateForJORV(both);
    EXPECT_EQ(Record({{"thumbprint", expected}, {"certificate", both}}), CertificateRecord());
    store->ImportCertificateForJORV(low, "proxy.corp.example");
    EXPECT_EQ(Record({{"thumbprint", expected}, {"certificate", ReadFile(low)}}), CertificateRecord());
    EXPECT_EQ(serversFile, ReadFile(ServersPath()));
}

TEST_F(CertificateTrust, UnreadableCertificatesAreRefusedAndNothingIsStored)
{
    const std::string good = Generate("good");
    const std::string pem = ReadFile(good);
    RunCommand("openssl x509 -in '" + good + "' -outform DER -out '" + certificates.File("good.der") + "'");
    const std::pair<const char*, std::string> cases[] = {
        {"DER encoding", ReadFile(certificates.File("good.der"))},
        {"empty text", ""},
        {"truncated PEM", pem.substr(0, pem.size() / 2)},
        {"damaged body", pem.substr(0, 40) + "!!!!" + pem.substr(44)},
        {"NUL before the PEM", std::string(1, '\0') + pem},
        {"private key", ReadFile(certificates.File("good.key"))},
    };
    const std::string path = certificates.File("bad.pem");
    for (const auto& bad : cases) {
        SCOPED_TRACE(bad.first);
        orvauth_test::WriteFile(path, bad.second);
        UseConfigurationStore(true);
        EXPECT_THROW(store->ImportCertificateForJORV(bad.second), InvalidCertificateException);
        EXPECT_THROW(store->ImportCertificateForJORV(path, PROXY_ADDRESS), InvalidCertificateException);
        UseConfigurationStore(false);
        EXPECT_THROW(store->ImportCertificateForJORV(path, PROXY_ADDRESS), InvalidCertificateException);
    }
    EXPECT_TRUE(CertificateRecord().empty());
    EXPECT_EQ(ServersFileBefore(), ReadFile(ServersPath()));
    EXPECT_TRUE(orvauth_test::LoggedLines().empty());
}

TEST_F(CertificateTrust, AMissingFileIsFileNotFoundInBothBranchesAfterTheAddressCheck)
{
    for (bool configurationStore : {true, false}) {
        UseConfigurationStore(configurationStore);
        ExpectRefused([&] { store->ImportCertificateForJORV(certificates.File("absent.pem"), PROXY_ADDRESS); },
                      typeid(FileNotFoundException),
                      "Exception 0x00000002: The system cannot find the file specified.");
    }
    ExpectRefused([&] { store->ImportCertificateForJORV(certificates.File("absent.pem"), "proxy.corp.example"); },
                  typeid(InvalidIPAddressException),
                  "The IP Address is invalid: IPv4 address 'proxy.corp.example' cannot be parsed as an IP address");
}

TEST_F(CertificateTrust, AMissingServerListIsAnInvalidThumbprintStore)
{
    UseConfigurationStore(false);
    const std::string path = Generate("unlisted");
    std::remove(ServersPath().c_str());
    ExpectRefused([&] { store->ImportCertificateForJORV(path, PROXY_ADDRESS); },
                  typeid(InvalidThumbprintStoreException),
                  "The specified thumbprint store '" + ServersPath() + "' is invalid");
    EXPECT_FALSE(orvauth_test::FileExists(ServersPath()));
}

TEST_F(CertificateTrust, AConfigurationStoreFailureIsLoggedAndPassedOn)
{
    const std::string path = Generate("unstored");
    InstallRecordingStore().setFailure = membership_test::StoreFailure::ConfigStore;
    for (bool fromFile : {false, true}) {
        orvauth_test::ClearLoggedLines();
        ExpectRefused([&] { fromFile ? store->ImportCertificateForJORV(path, PROXY_ADDRESS)
                                     : store->ImportCertificateForJORV(ReadFile(path)); },
                      typeid(QelConfigStore::ConfigStoreException), "database is locked");
        EXPECT_EQ(membership_test::OneLine(LOG_ERR, "Failed to store thumbprint to Config Store: database is locked"),
                  orvauth_test::LoggedLines());
    }
    EXPECT_TRUE(CertificateRecord().empty());
}

}  // namespace
