// The tool's own surface: help for every command, and the PAM and
// name-service switch files read and rewritten through the library's
// models.
#include "HostSandbox.h"

#include "BuildPaths.h"

namespace e2e {
namespace {

using orvauth_test::WriteFile;

class CommandLineTest : public HostSandbox {
protected:
    static void ExpectAnswer(const std::vector<std::string>& words, const std::string& input, int status,
                             const std::string& out, const std::string& err)
    {
        SCOPED_TRACE(words.back());
        ChildResult result = BareTool(words, input);
        EXPECT_EQ(status, result.status);
        EXPECT_EQ(out, result.out);
        EXPECT_EQ(err, result.err);
    }
};

TEST_F(CommandLineTest, EveryCommandHasHelp)
{
    ChildResult tool = BareTool({"--help"});
    ASSERT_EQ(0, tool.status);
    EXPECT_EQ(0u, tool.out.find("Usage: orvauthctl [<global options>] <command> [<arguments>]\n"));
    EXPECT_NE(std::string::npos, tool.out.find("configuration directory   " ORVAUTH_CONFIG_DIR "\n"));
    for (const char* option : {"--config-store <db>", "--hosts-file <path>", "--resolv-conf <path>",
                               "--management-interface <name>[=<ipv4>]", "--no-config-store",
                               "--verify-proxy-cert 0|1"}) {
        EXPECT_NE(std::string::npos, tool.out.find(option)) << option;
    }

    for (const char* command :
         {"stores", "activate", "status", "join", "join-proxy", "leave", "proxy-domain", "import-cert",
          "domain-controller", "host-principal", "canonical-name", "preferred-dcs", "smartcard", "pam", "nss"}) {
        SCOPED_TRACE(command);
        EXPECT_NE(std::string::npos, tool.out.find(std::string("\n  ") + command + " "));
        // Help comes before any other check of the command line.
        ChildResult help = BareTool({command, "--help", "--bogus"});
        EXPECT_EQ(2, help.status);
        help = BareTool({command, "--help"});
        EXPECT_EQ(0, help.status);
        EXPECT_EQ(0u, help.out.find(std::string("Usage: orvauthctl [<global options>] ") + command + " "));
        EXPECT_EQ("", help.err);
    }
}

TEST_F(CommandLineTest, PamAndNameServiceFilesAreRewrittenInTheNormalisedLayout)
{
    const std::string policy = "#%PAM-1.0\n# local accounts first\nauth    sufficient   pam_unix.so nullok\n"
                               "account required pam_unix.so\n"
                               "auth    [success=ok  default=die] pam_simdirectory.so try_first_pass\n";
    const std::string normalised = "#%PAM-1.0\n\naccount\trequired\tpam_unix.so\t\n\n"
                                   "auth\tsufficient\tpam_unix.so\tnullok \n"
                                   "auth\t[success=ok default=die]\tpam_simdirectory.so\ttry_first_pass \n\n";
    WriteFile(host.File("sshd"), policy);
    ExpectAnswer({"pam", "normalize", host.File("sshd")}, "", 0, normalised, "");
    ExpectAnswer({"pam", "normalize"}, policy, 0, normalised, "");
    ExpectAnswer({"pam", "normalize", "-"}, "@include common-auth\n", 1, "",
                 "orvauthctl: standard input: Invalid Facility: @include\n");

    WriteFile(host.File("nsswitch.conf"), "# name services\nhosts:    files dns\nsudoers:  files\n"
                                          "passwd:   files simdirectory [NOTFOUND=return]\ngroup:    files\n");
    ExpectAnswer({"nss", "normalize", host.File("nsswitch.conf")}, "", 0,
                 "passwd: files simdirectory [NOTFOUND=return]\ngroup: files\nhosts: files dns\n", "");
    ExpectAnswer({"nss", "normalize", host.File("absent")}, "", 1, "",
                 "orvauthctl: cannot read '" + host.File("absent") + "': No such file or directory\n");
}

}  // namespace
}  // namespace e2e
