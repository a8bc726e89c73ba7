#include "TestSupport.h"

using namespace SystemConfiguration;
using namespace sysconfig_test;

namespace {

TEST(NSSModelTest, NamedDatabasesAndServices)
{
    ExpectNameTable<InvalidDatabaseException, NSSDatabase, NSSDatabase::Database>(
        "Invalid Database: ", NSSDatabase::Aliases, 16, {"passwd:", "sudoers", ""});
    NSSService ldap("ldap");
    ldap.parameters() = {"NOTFOUND=return", "UNAVAIL=continue"};
    std::ostringstream out;
    out << ldap << '|' << NSSService("files");
    EXPECT_EQ(out.str(), "ldap [NOTFOUND=return UNAVAIL=continue]|files");

    NSSService reordered = ldap;
    reordered.parameters().reverse();
    EXPECT_TRUE(NSSService(ldap) == ldap);
    EXPECT_FALSE(reordered == ldap);
    EXPECT_FALSE(NSSService("ldap") == ldap);
}

// Lines of unknown databases and lines without services drop out, lines of
// one database merge, databases come out in numeric order, spacing becomes
// single spaces, and '#' is a comment only at the start of a line.
TEST(NSSConfigurationTest, ReadThenWritten)
{
    const std::pair<std::string, std::string> cases[] = {
        {"passwd:\tfiles\t[ NOTFOUND=return  UNAVAIL=continue ]\n",
         "passwd: files [NOTFOUND=return UNAVAIL=continue]\n"},
        {"sudoers: files\ngshadow: files\npasswd: files\n", "passwd: files\n"},
        {"passwd: files\ngroup: files\npasswd: ldap [NOTFOUND=return]\n",
         "passwd: files ldap [NOTFOUND=return]\ngroup: files\n"},
        {"aliases: files\nhosts: dns\npasswd: compat\n", "passwd: compat\nhosts: dns\naliases: files\n"},
        // The last character of the first word is dropped whatever it is.
        {"passwd; files\npasswdX nis\n", "passwd: files nis\n"},
        {"# c\n   # passwd: files\n\n \t\r\npasswd: files\n", "passwd: files\n"},
        {"passwd:\nshadow:   \n", ""},
        {"hosts: files [NOTFOUND=return dns\n", "hosts: files [NOTFOUND=return dns]\n"},
        {"passwd: files # ldap\n", "passwd: files # ldap\n"},
        {"passwd: files\r\n\rgroup: files [x]\r\n", "passwd: files\ngroup: files [x]\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Write(Read(c.first, NSSConfiguration())), c.second) << c.first;
}

// Where the written form cannot tell a group from services that merely look
// like one: each service as its module, then "+" and each parameter.
TEST(NSSConfigurationTest, GroupsAttachOnlyAfterExactlyOneSeparator)
{
    const std::pair<std::string, std::string> cases[] = {
        {"hosts: dns [!UNAVAIL=return] files\nhosts: mdns\n", "dns +!UNAVAIL=return; files; mdns; "},
        {"hosts: dns  [!UNAVAIL=return] files\n", "dns; [!UNAVAIL=return]; files; "},
        {"hosts: files [a]dns [b] [c]\n", "files +a; dns +b; [c]; "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        NSSConfiguration configuration = Read(c.first, NSSConfiguration());
        EXPECT_EQ(configuration.size(), 1u);
        std::string services;
        for (const NSSService& service : configuration[NSSDatabase::Hosts]) {
            services += service.module();
            for (const std::string& parameter : service.parameters())
                services += " +" + parameter;
            services += "; ";
        }
        EXPECT_EQ(services, c.second);
    }
}

TEST(NSSConfigurationTest, WritingEmptyAndUnnamedDatabases)
{
    NSSConfiguration configuration = Read("passwd: files\n", NSSConfiguration());
    std::istringstream("passwd: ldap\n") >> configuration;  // adds, never clears
    configuration[NSSDatabase::Group];
    EXPECT_EQ(Write(configuration), "passwd: files ldap\ngroup:\n");

    configuration[static_cast<NSSDatabase::Database>(20)].push_back(NSSService("files"));
    std::ostringstream out;
    EXPECT_THROW(out << configuration, InvalidDatabaseException);
    EXPECT_EQ(out.str(), "passwd: files ldap\ngroup:\n");
}

}  // namespace
