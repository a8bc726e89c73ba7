// join, join-proxy, leave, proxy-domain, import-cert.
#include "Command.h"
#include "Password.h"
#include "Progress.h"
#include "StoreAccess.h"

#include <orvane/authentication/ActiveDirectoryConfigStore.h>
#include <orvane/authentication/Exceptions.h>
#include <platform/Ipv4Address.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace orvauthctl {
namespace {

using orvane::authentication::ActiveDirectoryConfigStore;
using orvane::authentication::ActiveDirectoryStore;
using orvane::authentication::InvalidIPAddressException;

const OptionDefinition SKIP_HOSTNAME_CHECK{"skip-hostname-check", "",
                                     "do not check the host's name against the domain or prepare the hosts\n"
                                     "file and DNS search list"};
const OptionDefinition PASSWORD_STDIN{"password-stdin", "",
                                "read the password from the first line of standard input instead of\n"
                                "prompting on the terminal"};

Credentials CredentialsOf(const std::string& user, const Secret& password)
{
    Credentials credentials{};
    credentials.userName = user.c_str();
    credentials.password = password.CString();
    return credentials;
}

int Join(const Invocation& call)
{
    const std::string& domainArgument = call.arguments.operands[0];
    std::string user = call.arguments.Value("user");
    std::unique_ptr<ActiveDirectoryStore> store = CreateDirectoryStore();
    Secret password;
    ReadPassword(password, user, call.arguments.Has("password-stdin"));
    {
        Progress progress("Joining " + domainArgument);
        store->JoinDomain(domainArgument, CredentialsOf(user, password), call.arguments.Has("skip-hostname-check"));
    }
    call.out << "Joined the host to " << domainArgument << ".\n";
    return EXIT_OK;
}

int JoinProxy(const Invocation& call)
{
    const std::string& server = call.arguments.operands[0];
    std::unique_ptr<ActiveDirectoryStore> store = CreateDirectoryStore();
    {
        Progress progress("Joining through " + server);
        store->JoinDomainWithJORV(server, call.arguments.Value("ou"), call.arguments.Has("skip-hostname-check"));
    }
    call.out << "Joined the host to the domain of the authentication proxy " << server << ".\n";
    return EXIT_OK;
}

// The library's credentialed leave keeps the domain record; the tool's
// leave means the host is out, so the record goes too. Returns false when
// there was none to remove.
bool RemoveDomainRecord()
{
    if (!ActiveDirectoryConfigStore::IsConfigStoreEnabled()) {
        return false;
    }
    ActiveDirectoryConfigStore configStore;
    try {
        configStore.GetDomainName();
    } catch (const orvane::authentication::ConfigurationError&) {
        return false;
    }
    configStore.RemoveDomainInfo();
    return true;
}

int Leave(const Invocation& call)
{
    std::unique_ptr<ActiveDirectoryStore> store = CreateDirectoryStore();
    if (call.arguments.Has("user")) {
        std::string user = call.arguments.Value("user");
        Secret password;
        ReadPassword(password, user, call.arguments.Has("password-stdin"));
        try {
            store->PartDomain(CredentialsOf(user, password));
        } catch (const orvane::authentication::FileNotFoundException&) {
            // Already out of the domain (an earlier leave was interrupted):
            // only the record remained to remove.
            if (!RemoveDomainRecord()) {
                throw;
            }
        }
        RemoveDomainRecord();
    } else if (call.arguments.Has("password-stdin")) {
        throw UsageError("--password-stdin needs --user");
    } else {
        store->PartDomain();
    }
    call.out << "The host left its domain.\n";
    return EXIT_OK;
}

int ProxyDomain(const Invocation& call)
{
    call.out << CreateDirectoryStore()->GetDomainForJORVService(call.arguments.operands[0]) << '\n';
    return EXIT_OK;
}

std::string ReadTextFile(const std::string& path)
{
    std::ifstream file(path);
    if (!file) {
        throw std::runtime_error("cannot read '" + path + "': " + std::strerror(errno));
    }
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

int ImportCertificate(const Invocation& call)
{
    const std::string& path = call.arguments.operands[0];
    std::unique_ptr<ActiveDirectoryStore> store = CreateDirectoryStore();
    if (call.arguments.operands.size() == 2) {
        const std::string& server = call.arguments.operands[1];
        if (!NodeCtl::Network::Ipv4Address::IsValidAddress(server)) {
            throw InvalidIPAddressException("IPv4 address '" + server + "' cannot be parsed as an IP address");
        }
        store->ImportCertificateForJORV(path, server);
        if (ActiveDirectoryConfigStore::IsConfigStoreEnabled()) {
            // The configuration store keeps a single certificate, so the
            // server's address selected nothing.
            call.out << "Trusted the certificate in " << path << " for every authentication proxy, " << server
                     << " included: the configuration store keeps one certificate for all proxies.\n";
        } else {
            call.out << "Trusted the certificate in " << path << " for the authentication proxy " << server << ".\n";
        }
    } else {
        store->ImportCertificateForJORV(ReadTextFile(path));
        call.out << "Trusted the certificate in " << path << " for every authentication proxy.\n";
    }
    return EXIT_OK;
}

}  // namespace

std::vector<Command> MembershipCommands()
{
    return {
        {"join", "<domain[/ou]> --user <name> [--password-stdin] [--skip-hostname-check]",
         "join a domain with an administrator's credentials",
         "Joins the host to <domain>, creating its machine account in the organizational unit given\n"
         "after the first '/' (the directory's default when none). The password is asked for on the\n"
         "terminal without echo, or read from standard input with --password-stdin; it is never taken\n"
         "from the command line or the environment. The directory may be retried for minutes.\n"
         "Joining does not make the directory store active: use 'activate \"Active Directory\"'.",
         {{"user", "<name>", "the account that joins the host", true}, PASSWORD_STDIN, SKIP_HOSTNAME_CHECK}, 1, 1, Join},
        {"join-proxy", "<server> [--ou <ou>] [--skip-hostname-check]",
         "join the domain of an authentication proxy, which creates the machine account",
         "Joins the host through the authentication proxy at IPv4 address <server>; no credentials\n"
         "pass through the host. The proxy's certificate is checked against the imported thumbprint\n"
         "when the advanced option UserVars.ActiveDirectoryVerifyJORVCertificate is 1 (see\n"
         "--verify-proxy-cert). The host's name is always resolved.",
         {{"ou", "<ou>", "organizational unit of the machine account (default: the proxy's choice)"},
          SKIP_HOSTNAME_CHECK},
         1, 1, JoinProxy},
        {"leave", "[--user <name> [--password-stdin]]", "take the host out of its domain",
         "Leaves the domain. Without --user the machine account stays in the directory and the\n"
         "membership record is removed from the host configuration store; with --user the account is\n"
         "removed with those credentials (password as for join) and the record is left alone.",
         {{"user", "<name>", "leave with this account's credentials"}, PASSWORD_STDIN}, 0, 0, Leave},
        {"proxy-domain", "<server>", "show the DNS domain an authentication proxy serves",
         "Asks the authentication proxy at IPv4 address <server> for its domain's DNS name. The\n"
         "proxy's certificate is not checked.",
         {}, 1, 1, ProxyDomain},
        {"import-cert", "<pem-file> [<server>]", "trust an authentication proxy's certificate",
         "Without <server>, trusts the PEM certificate for every proxy: it and its thumbprint go to\n"
         "the host configuration store. With <server>, trusts it for the proxy at that IPv4 address:\n"
         "kept in jorvservers.conf when the configuration store is disabled (--no-config-store),\n"
         "otherwise again in the configuration store for every proxy.",
         {}, 1, 2, ImportCertificate},
    };
}

}  // namespace orvauthctl
