#include "TextForms.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

using namespace SystemConfiguration;
using sysconfig_test::ReadNSS;
using sysconfig_test::Write;

namespace {

std::string DatabaseMessage(const std::string& name)
{
    try {
        NSSDatabase database(name);
    } catch (const InvalidDatabaseException& e) {
        return e.what();
    }
    return "";
}

TEST(NSSDatabaseTest, NamesAndNumbers)
{
    const char* names[] = {"passwd",   "group",    "shadow",     "hosts",     "netmasks",
                           "networks", "protocols", "services",  "ethers",    "rpc",
                           "netgroup", "bootparams", "publickey", "automount", "aliases"};
    for (int value = 1; value <= 15; ++value) {
        const NSSDatabase byName{std::string(names[value - 1])};
        EXPECT_EQ(static_cast<int>(static_cast<NSSDatabase::Database>(byName)), value);
        EXPECT_EQ(static_cast<std::string>(NSSDatabase(static_cast<NSSDatabase::Database>(value))), names[value - 1]);
        EXPECT_TRUE(byName == std::string(names[value - 1]));
    }
    for (const std::string name : {"Passwd", "passwd:", "sudoers", "gshadow", ""})
        EXPECT_EQ(DatabaseMessage(name), "Invalid Database: " + name);

    NSSDatabase database(NSSDatabase::Hosts);
    EXPECT_THROW(database = std::string("HOSTS"), InvalidDatabaseException);
    EXPECT_TRUE(database == NSSDatabase::Hosts);
    EXPECT_THROW((void)(database == std::string("dns")), InvalidDatabaseException);
    database = NSSDatabase::Rpc;
    EXPECT_TRUE(database == NSSDatabase(std::string("rpc")));
    for (int unnamed : {0, 16}) {
        try {
            std::string text = NSSDatabase(static_cast<NSSDatabase::Database>(unnamed));
            ADD_FAILURE() << "converted " << unnamed;
        } catch (const InvalidDatabaseException& e) {
            EXPECT_EQ(std::string(e.what()), "Invalid Database: " + std::to_string(unnamed));
        }
    }
}

TEST(NSSServiceTest, EqualityAndWrittenForm)
{
    NSSService ldap("ldap");
    ldap.parameters() = {"NOTFOUND=return", "UNAVAIL=continue"};
    std::ostringstream out;
    out << ldap << '|' << NSSService("files");
    EXPECT_EQ(out.str(), "ldap [NOTFOUND=return UNAVAIL=continue]|files");

    NSSService other = ldap;
    EXPECT_TRUE(other == ldap);
    other.parameters().reverse();
    EXPECT_FALSE(other == ldap);
    other.parameters().pop_back();
    EXPECT_FALSE(other == ldap);
    EXPECT_FALSE(NSSService("files") == NSSService("file"));
}

TEST(NSSConfigurationTest, ReadThenWritten)
{
    const struct {
        const char* what;
        std::string input;
        std::string written;
    } cases[] = {
        {"a group follows its service", "hosts: dns [!UNAVAIL=return] files\n",
         "hosts: dns [!UNAVAIL=return] files\n"},
        {"two separators detach a group", "hosts: dns  [!UNAVAIL=return] files\n",
         "hosts: dns [!UNAVAIL=return] files\n"},
        {"a tab is one separator", "passwd:\tfiles\t[ NOTFOUND=return  UNAVAIL=continue ]\n",
         "passwd: files [NOTFOUND=return UNAVAIL=continue]\n"},
        {"trailing blank", "passwd: files \n", "passwd: files\n"},
        {"unknown databases are dropped", "sudoers: files\ngshadow: files\npasswd: files\n", "passwd: files\n"},
        {"lines of one database merge", "passwd: files\ngroup: files\npasswd: ldap [NOTFOUND=return]\n",
         "passwd: files ldap [NOTFOUND=return]\ngroup: files\n"},
        {"databases are written in numeric order", "aliases: files\nhosts: dns\npasswd: compat\n",
         "passwd: compat\nhosts: dns\naliases: files\n"},
        {"any last character of the first word is dropped", "passwd; files\npasswdX nis\n", "passwd: files nis\n"},
        {"no colon, or a detached one, names nothing", "passwd files\npasswd : files\n", ""},
        {"names are case-sensitive", "Passwd: files\n", ""},
        {"comments, indented comments, blank lines", "# c\n   # passwd: files\n\n \t\r\npasswd: files\n",
         "passwd: files\n"},
        {"a line without services adds nothing", "passwd:\nshadow:   \n", ""},
        {"an empty group disappears", "hosts: files [] dns\n", "hosts: files dns\n"},
        {"an unclosed group takes the rest of the line", "hosts: files [NOTFOUND=return dns\n",
         "hosts: files [NOTFOUND=return dns]\n"},
        {"reading goes on after the group", "hosts: files [a]dns [b] [c]\n", "hosts: files [a] dns [b] [c]\n"},
        {"a group touching its service is part of its name", "hosts: dns[a] files\n", "hosts: dns[a] files\n"},
        {"a group after the database word is a service", "hosts: [a b] dns\n", "hosts: [a b] dns\n"},
        {"'#' after the first word is an ordinary word", "passwd: files # ldap\n", "passwd: files # ldap\n"},
        {"carriage returns", "passwd: files\r\n\rgroup: files [x]\r\n", "passwd: files\ngroup: files [x]\n"},
        {"last line without line feed", "group: files", "group: files\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Write(ReadNSS(c.input)), c.written);
    }
}

TEST(NSSConfigurationTest, ParametersAndServicesAsRead)
{
    NSSConfiguration configuration = ReadNSS("hosts: dns [!UNAVAIL=return] files\nhosts: mdns\n");
    ASSERT_EQ(configuration.size(), 1u);
    const NSSConfiguration::Services& hosts = configuration[NSSDatabase::Hosts];
    ASSERT_EQ(hosts.size(), 3u);
    EXPECT_EQ(hosts[0].module(), "dns");
    EXPECT_EQ(hosts[0].parameters(), std::list<std::string>{"!UNAVAIL=return"});
    EXPECT_EQ(hosts[1].module(), "files");
    EXPECT_TRUE(hosts[1].parameters().empty());
    EXPECT_EQ(hosts[2].module(), "mdns");
}

TEST(NSSConfigurationTest, ReadingAddsAndNeverReadsAFailedStream)
{
    NSSConfiguration configuration = ReadNSS("passwd: files\n");
    std::istringstream more("passwd: ldap\n");
    more >> configuration;
    EXPECT_EQ(Write(configuration), "passwd: files ldap\n");
    EXPECT_TRUE(more.eof());

    std::istringstream failed("group: files\n");
    failed.setstate(std::ios_base::failbit);
    failed >> configuration;
    EXPECT_EQ(configuration.count(NSSDatabase::Group), 0u);
}

TEST(NSSConfigurationTest, WritingEmptyAndUnnamedDatabases)
{
    NSSConfiguration configuration;
    configuration[NSSDatabase::Group];
    configuration[NSSDatabase::Passwd].push_back(NSSService("files"));
    EXPECT_EQ(Write(configuration), "passwd: files\ngroup:\n");

    configuration[static_cast<NSSDatabase::Database>(20)].push_back(NSSService("files"));
    std::ostringstream out;
    EXPECT_THROW(out << configuration, InvalidDatabaseException);
    EXPECT_EQ(out.str(), "passwd: files\ngroup:\n");
}

}  // namespace
