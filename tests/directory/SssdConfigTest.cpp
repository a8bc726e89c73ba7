// The directory client's SSSD configuration on real files in a temporary
// directory; the service manager is a recording script that the settings
// point at, and the file is checked with the service's own checker.
#include "adclient/SssdConfig.h"

#include "common/Files.h"
#include "common/Recorders.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <sys/stat.h>
#include <syslog.h>

namespace {

using adclient::SssdConfig;
using adclient::SssdDomain;
using orvauth_test::ReadFile;
using orvauth_test::WriteFile;

const SssdDomain CORP{"corp.example.test", "", "/etc/krb5.keytab", "NODE01$@CORP.EXAMPLE.TEST",
                      "node01.corp.example.test", {"dc1.corp.example.test", "dc2.corp.example.test"}, "/bin/bash", false, ""};

const char* const CORP_ONLY = "[sssd]\n"
                              "services = nss, pam\n"
                              "domains = corp.example.test\n"
                              "default_domain_suffix = corp.example.test\n"
                              "[domain/corp.example.test]\n"
                              "id_provider = ad\n"
                              "auth_provider = ad\n"
                              "chpass_provider = ad\n"
                              "access_provider = deny\n"
                              "ad_domain = corp.example.test\n"
                              "krb5_realm = CORP.EXAMPLE.TEST\n"
                              "krb5_keytab = /etc/krb5.keytab\n"
                              "ldap_sasl_authid = NODE01$@CORP.EXAMPLE.TEST\n"
                              "ad_hostname = node01.corp.example.test\n"
                              "ad_server = dc1.corp.example.test, dc2.corp.example.test, _srv_\n"
                              "use_fully_qualified_names = True\n"
                              "cache_credentials = True\n"
                              "krb5_auth_timeout = 2\nldap_network_timeout = 2\nldap_opt_timeout = 3\n"
                              "dns_resolver_server_timeout = 1000\ndns_resolver_op_timeout = 1\ndns_resolver_timeout = 2\n"
                              "ad_maximum_machine_account_password_age = 30\n"
                              "dyndns_update = False\n"
                              "default_shell = /bin/bash\n"
                              "fallback_homedir = /home/%d/%u\n";

class SssdConfigTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        orvauth_test::ClearLoggedLines();
        WriteFile(dir.File("systemctl"), "#!/bin/sh\necho \"$*\" >>" + dir.File("calls") + "\nexit ${FAIL:-0}\n");
        ::chmod(dir.File("systemctl").c_str(), 0755);
    }

    SssdConfig Config(bool managerRuns = true, const std::string& systemctl = "") const
    {
        if (managerRuns) {
            ::mkdir(dir.File("systemd").c_str(), 0755);
        }
        return SssdConfig({conf, systemctl.empty() ? dir.File("systemctl") : systemctl, dir.File("systemd"),
                           "sssd.service"});
    }

    std::string Calls() const
    {
        return orvauth_test::FileExists(dir.File("calls")) ? ReadFile(dir.File("calls")) : "";
    }

    orvauth_test::TempDir dir;
    std::string conf = dir.File("sssd.conf");
};

TEST_F(SssdConfigTest, JoinWritesAValidPrivateConfigurationAndRestartsTheService)
{
    Config().Configure(CORP);
    EXPECT_EQ(CORP_ONLY, ReadFile(conf));
    EXPECT_EQ(0600u, orvauth_test::FileMode(conf));
    EXPECT_EQ("restart sssd.service\n", Calls());
    EXPECT_EQ((std::vector<std::string>{"calls", "sssd.conf", "systemctl", "systemd"}),
              orvauth_test::ListDirectory(dir.Path()));  // no temporary file left
    // The service's own checker accepts the file.
    ::mkdir(dir.File("conf.d").c_str(), 0755);
    std::string check = "sssctl config-check -c " + conf + " >" + dir.File("check") + " 2>&1";
    EXPECT_EQ(0, std::system(check.c_str())) << ReadFile(dir.File("check"));

    Config().Remove(CORP.dnsName);
    EXPECT_FALSE(orvauth_test::FileExists(conf));
    EXPECT_EQ("restart sssd.service\nstop sssd.service\n", Calls());
}

struct Original {
    const char* name;
    std::string text;
};

class SssdRoundTripTest : public SssdConfigTest, public ::testing::WithParamInterface<Original> {};

// What the file held before the join is what leave leaves; the domain's
// section is written once, however often the join is repeated.
TEST_P(SssdRoundTripTest, LeaveGivesBackTheFileAsItWas)
{
    WriteFile(conf, GetParam().text);
    ::chmod(conf.c_str(), 0644);
    Config().Configure(CORP);
    Config().Configure(CORP);
    const std::string joined = ReadFile(conf);
    EXPECT_EQ(0600u, orvauth_test::FileMode(conf));
    EXPECT_EQ(joined.find("[domain/corp.example.test]"), joined.rfind("[domain/corp.example.test]"));
    EXPECT_NE(std::string::npos, joined.find("[domain/other.example.test]\nid_provider = ad\n"));
    Config().Remove(CORP.dnsName);
    EXPECT_EQ(GetParam().text, ReadFile(conf));
    EXPECT_EQ("restart sssd.service\nrestart sssd.service\nrestart sssd.service\n", Calls());
    Config().Remove(CORP.dnsName);  // not mentioned any more: nothing to do
    const std::string calls = Calls();
    EXPECT_EQ(3, std::count(calls.begin(), calls.end(), '\n'));
}

INSTANTIATE_TEST_SUITE_P(
    Files, SssdRoundTripTest,
    ::testing::Values(Original{"OtherDomain", "# local changes\n[sssd]\nservices = nss, pam\ndomains = other.example.test\n\n"
                                              "[domain/other.example.test]\nid_provider = ad\n\n[nss]\nfilter_users = root\n"},
                      Original{"NoServiceSection", "[domain/other.example.test]\nid_provider = ad\n[sssd]\n"
                                                   "config_file_version = 2\nservices = nss, pam\n"
                                                   "domains = other.example.test\n"}),
    [](const ::testing::TestParamInfo<Original>& info) { return info.param.name; });

TEST_F(SssdConfigTest, ALinkedConfigurationStaysALinkAndPrivate)
{
    orvauth_test::TempDir elsewhere;
    const std::string real = elsewhere.File("sssd.conf");
    WriteFile(real, "[sssd]\nservices = nss\n");
    ASSERT_EQ(0, ::chmod(real.c_str(), 0644) + ::symlink(real.c_str(), conf.c_str()));
    Config().Configure(CORP);
    struct stat info;
    ASSERT_EQ(0, ::lstat(conf.c_str(), &info));
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    EXPECT_NE(std::string::npos, ReadFile(real).find("[domain/corp.example.test]"));
    EXPECT_EQ(0600u, orvauth_test::FileMode(real));
    EXPECT_EQ(std::vector<std::string>{"sssd.conf"}, orvauth_test::ListDirectory(elsewhere.Path()));
}

TEST_F(SssdConfigTest, WithoutServiceManagerTheOperatorIsTold)
{
    Config(false).Configure(CORP);
    EXPECT_EQ(CORP_ONLY, ReadFile(conf));
    EXPECT_EQ("", Calls());
    ASSERT_EQ(2u, orvauth_test::LoggedLines().size());
    EXPECT_EQ((orvauth_test::LogLine{LOG_NOTICE, "No service manager is running: start SSSD (sssd) for the "
                                                 "domain's users to log in"}),
              orvauth_test::LoggedLines()[1]);
}

TEST_F(SssdConfigTest, FailedRestartIsLoggedNotThrown)
{
    Config(true, "/bin/false").Configure(CORP);
    EXPECT_EQ(CORP_ONLY, ReadFile(conf));
    EXPECT_EQ((orvauth_test::LogLine{LOG_ERR, "SSSD could not be restarted: '/bin/false restart sssd.service' "
                                              "exited with status 1"}),
              orvauth_test::LoggedLines().back());
}

TEST_F(SssdConfigTest, ValuesThatWouldBreakTheFileAreRefusedBeforeWriting)
{
    WriteFile(conf, "[sssd]\n");
    std::vector<SssdDomain> bad(4, CORP);
    bad[0].hostPrincipal += "\nid_provider = local";
    bad[1].preferredControllers.push_back("dc3, dc4");
    bad[2].keytab = "";
    bad[3].dnsName = "corp]";
    for (const SssdDomain& domain : bad) {
        EXPECT_THROW(Config().Configure(domain), adclient::SssdConfigError);
    }
    EXPECT_EQ("[sssd]\n", ReadFile(conf));
    EXPECT_EQ("", Calls());
    EXPECT_EQ((std::vector<std::string>{"sssd.conf", "systemctl", "systemd"}), orvauth_test::ListDirectory(dir.Path()));
}

}  // namespace
