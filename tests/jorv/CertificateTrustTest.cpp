// Importing a proxy's certificate: thumbprints checked against the openssl
// command line as an independent oracle; where the thumbprint is kept and
// what is stored; what is refused and what is left untouched then.
#include "JORVSandbox.h"
#include "common/ChildProcess.h"

#include <orvane/authentication/Configuration.h>
#include <orvane/authentication/Exceptions.h>

#include <syslog.h>

#include <cstdio>
#include <stdexcept>

using namespace orvane::authentication;
using namespace jorv_test;
using orvauth_test::ExpectRefused;
using membership_test::Record;
using orvauth_test::ReadFile;

namespace {

// The output of an openssl command that must succeed.
std::string Openssl(std::vector<std::string> arguments)
{
    arguments.insert(arguments.begin(), "openssl");
    const orvauth_test::ChildResult result = orvauth_test::RunChild(arguments);
    if (result.status != 0) {
        throw std::runtime_error("openssl " + arguments[1] + " failed: " + result.err);
    }
    return result.out;
}

// What `openssl x509 -fingerprint -sha1` prints after "SHA1 Fingerprint=".
std::string OracleThumbprint(const std::string& pemPath)
{
    const std::string output = Openssl({"x509", "-noout", "-fingerprint", "-sha1", "-in", pemPath});
    return output.substr(output.find('=') + 1, 59);
}

class CertificateTrust : public JORVSandbox {
protected:
    // A fresh self-signed certificate (and its .key); with lowFirstByte,
    // regenerated until its digest starts below 0x10 (one try in sixteen).
    std::string Generate(const std::string& name, bool lowFirstByte = false)
    {
        const std::string path = certificates.File(name + ".pem");
        for (int attempt = 0; attempt < 400; ++attempt) {
            Openssl({"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-days",
                     "30", "-subj", "/CN=" + name, "-keyout", certificates.File(name + ".key"), "-out", path});
            if (!lowFirstByte || OracleThumbprint(path)[0] == '0') {
                return path;
            }
        }
        throw std::runtime_error("no certificate with a low first digest byte");
    }
    std::string Write(const std::string& name, const std::string& content)
    {
        orvauth_test::WriteFile(certificates.File(name), content);
        return certificates.File(name);
    }
    std::string Listed(const std::string& server = PROXY_ADDRESS) const
    {
        return JORVThumbprintStore(ServersPath()).LookupThumbprint(server);
    }

    orvauth_test::TempDir certificates;
};

TEST_F(CertificateTrust, EveryBranchKeepsTheLeadingZeroAndOnlyTheFirstCertificateIsKept)
{
    const std::string low = Generate("low", true);
    const std::string expected = OracleThumbprint(low);
    ASSERT_EQ('0', expected[0]);
    const std::string both = ReadFile(low) + ReadFile(Generate("second")) + "trailing text\n";

    // Without the configuration store: one line per proxy, no record.
    UseConfigurationStore(false);
    store->ImportCertificateForJORV(Write("both.pem", both), OTHER_PROXY_ADDRESS);
    EXPECT_EQ(expected + "|" + LISTED_THUMBPRINT, Listed(OTHER_PROXY_ADDRESS) + "|" + Listed());
    EXPECT_TRUE(CertificateRecord().empty());

    // With it: one certificate for every proxy, stored alone, re-encoded.
    UseConfigurationStore(true);
    const std::string serversFile = ReadFile(ServersPath());
    store->ImportCertificateForJORV(both);
    EXPECT_EQ(Record({{"thumbprint", expected}, {"certificate", ReadFile(low)}}), CertificateRecord());
    store->ImportCertificateForJORV("\n" + ReadFile(Generate("other")));
    store->ImportCertificateForJORV(certificates.File("both.pem"), PROXY_ADDRESS);
    EXPECT_EQ(Record({{"thumbprint", expected}, {"certificate", ReadFile(low)}}), CertificateRecord());
    EXPECT_EQ(serversFile, ReadFile(ServersPath()));
}

TEST_F(CertificateTrust, UnacceptableInputIsRefusedAndNothingIsStored)
{
    const std::string good = Generate("good");
    const std::string pem = ReadFile(good), key = ReadFile(certificates.File("good.key"));
    Openssl({"x509", "-in", good, "-outform", "DER", "-out", certificates.File("good.der")});
    const std::string invalid = InvalidCertificateException().what();
    const std::string holdsKey =
        "The certificate is invalid: the input holds a private key; give the certificate alone";
    const std::pair<std::string, std::string> cases[] = {
        {ReadFile(certificates.File("good.der")), invalid},
        {pem.substr(0, pem.size() / 2), invalid},
        {std::string(1, '\0') + pem, invalid},
        {pem + key, holdsKey},
        {key + pem, holdsKey},
        {pem + std::string(64 * 1024, '#'), "The certificate is invalid: the input is larger than 65536 bytes"},
    };
    for (const auto& bad : cases) {
        SCOPED_TRACE(bad.second + " " + bad.first.substr(0, 40));
        const std::string path = Write("bad.pem", bad.first);
        const std::type_info& refused = typeid(InvalidCertificateException);
        UseConfigurationStore(true);
        ExpectRefused([&] { store->ImportCertificateForJORV(bad.first); }, refused, bad.second);
        ExpectRefused([&] { store->ImportCertificateForJORV(path, PROXY_ADDRESS); }, refused, bad.second);
        UseConfigurationStore(false);
        ExpectRefused([&] { store->ImportCertificateForJORV(path, PROXY_ADDRESS); }, refused, bad.second);
    }
    EXPECT_TRUE(CertificateRecord().empty());
    EXPECT_EQ(ServersFileBefore(), ReadFile(ServersPath()));
    EXPECT_TRUE(orvauth_test::LoggedLines().empty());
}

TEST_F(CertificateTrust, AddressFileAndStoreFailuresAreRefusedInBothBranches)
{
    const std::string path = Generate("refused");
    for (bool configurationStore : {true, false}) {
        UseConfigurationStore(configurationStore);
        ExpectRefused([&] { store->ImportCertificateForJORV(certificates.File("absent.pem"), PROXY_ADDRESS); },
                      typeid(FileNotFoundException),
                      "Exception 0x00000002: The system cannot find the file specified.");
        ExpectRefused([&] { store->ImportCertificateForJORV(path, "proxy.corp.example"); },
                      typeid(InvalidIPAddressException),
                      "The IP Address is invalid: IPv4 address 'proxy.corp.example' cannot be parsed as an IP address");
    }
    std::remove(ServersPath().c_str());
    ExpectRefused([&] { store->ImportCertificateForJORV(path, PROXY_ADDRESS); },
                  typeid(InvalidThumbprintStoreException),
                  "The specified thumbprint store '" + ServersPath() + "' is invalid");
    EXPECT_FALSE(orvauth_test::FileExists(ServersPath()));
    ASSERT_EQ(orvauth_test::LoggedLines().size(), 1u);  // what failed, which the exception does not say
    EXPECT_EQ(orvauth_test::LoggedLines()[0].text.rfind("Cannot import the thumbprint into", 0), 0u);
    orvauth_test::ClearLoggedLines();

    UseConfigurationStore(true);
    InstallFailingStore();
    ExpectRefused([&] { store->ImportCertificateForJORV(path, PROXY_ADDRESS); },
                  typeid(QelConfigStore::ConfigStoreException), "database is locked");
    EXPECT_EQ(membership_test::OneLine(LOG_ERR, "Failed to store thumbprint to Config Store: database is locked"),
              orvauth_test::LoggedLines());
    EXPECT_TRUE(CertificateRecord().empty());
}

}  // namespace
