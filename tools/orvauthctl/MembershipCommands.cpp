// join, join-proxy, leave, proxy-domain, import-cert.
#include "Command.h"
#include "Password.h"
#include "Progress.h"
#include "base/FileReplacement.h"

#include <orvane/authentication/ActiveDirectoryConfigStore.h>
#include <orvane/authentication/Exceptions.h>
#include <orvane/authentication/JoinRetries.h>
#include <orvane/host/Membership.h>
#include <orvane/host/Stores.h>
#include <platform/Ipv4Address.h>

#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <unistd.h>

namespace orvauthctl {
namespace {

using orvane::authentication::ActiveDirectoryConfigStore;
using orvane::authentication::ActiveDirectoryStore;
using orvane::host::CreateDirectoryStore;

const OptionDefinition SKIP_HOSTNAME_CHECK{"skip-hostname-check", "",
                                     "do not check the host's name against the domain or prepare the hosts\n"
                                     "file and DNS search list"};
const OptionDefinition PASSWORD_STDIN{"password-stdin", "",
                                "read the password from the first line of standard input instead of\n"
                                "prompting on the terminal"};

const OptionDefinition OU{"ou", "<ou>",
                         "organizational unit of the machine account: a DN (OU=Hypervisors,OU=Servers\n"
                         "or with the domain's DC= part) or a path from the domain's top\n"
                         "(Servers/Hypervisors); text holding '=' is taken as a DN"};
const OptionDefinition ID_MAPPING{"id-mapping", "sid|posix",
                                 "where users' and groups' IDs come from: sid (SSSD maps the SIDs; the\n"
                                 "default) or posix (the directory's uidNumber/gidNumber, equal on every host)"};
const OptionDefinition ACTIVATE{"activate", "", "make the Active Directory store active once the host joined"};

// The library waits between the attempts of a join the directory may accept
// later: the operator hears of each wait as it starts, on a line of its own
// below the progress display.
void ReportJoinRetries()
{
    orvane::authentication::SetJoinRetryObserver([](const orvane::authentication::JoinRetry& retry) {
        std::fprintf(stderr, "%sorvauthctl: attempt %d of %d failed (%s); %s in %u s\n",
                     isatty(STDERR_FILENO) ? "\r\033[K" : "", retry.attempt, retry.attempts, retry.message.c_str(),
                     retry.attempt < retry.attempts ? "trying again" : "giving up", retry.waitSeconds);
    });
}

Credentials CredentialsOf(const std::string& user, const Secret& password)
{
    Credentials credentials{};
    credentials.userName = user.c_str();
    credentials.password = password.CString();
    return credentials;
}

int Join(const Invocation& call)
{
    std::string domainArgument = call.arguments.operands[0];
    if (call.arguments.Has("ou")) {
        if (domainArgument.find('/') != std::string::npos) {
            throw UsageError("join: give the organizational unit either after the domain or with --ou, not both");
        }
        // The directory client takes a DN or the path form alike.
        domainArgument += "/" + call.arguments.Value("ou");
    }
    orvane::host::JoinChoices choices;
    if (call.arguments.Has("id-mapping") && !orvane::host::ParseIdMapping(call.arguments.Value("id-mapping"), choices.idMapping)) {
        throw UsageError("--id-mapping takes sid or posix, not '" + call.arguments.Value("id-mapping") + "'");
    }
    // Either an administrator's (or delegated user's) credentials or the
    // preset computer account's one-time password, which is read like any
    // password and never taken from the command line.
    const bool oneTimePassword = call.arguments.Has("one-time-password");
    if (oneTimePassword == call.arguments.Has("user")) {
        throw UsageError("join: give either --user <name> or --one-time-password (for a computer account an "
                         "administrator preset with adcli preset-computer --one-time-password)");
    }
    const std::string user = call.arguments.Value("user");
    if (call.arguments.Has("use-ldaps")) {
        choices.settings.UseLdaps();
    }
    if (call.arguments.Has("description")) {
        try {
            choices.settings.Describe(call.arguments.Value("description"));
        } catch (const std::invalid_argument& e) {
            throw UsageError(std::string("--description: ") + e.what());
        }
    }
    choices.dnsUpdate = call.arguments.Has("dns-update");
    choices.activate = call.arguments.Has("activate");
    choices.skipHostnameCheck = call.arguments.Has("skip-hostname-check");
    Secret password;
    ReadPassword(password, oneTimePassword ? "the preset computer account (one-time password)" : user,
                 call.arguments.Has("password-stdin"));
    ReportJoinRetries();
    try {
        Progress progress("Joining " + domainArgument);
        if (oneTimePassword) {
            orvane::host::JoinDomainWithOneTimePassword(domainArgument, password.CString(), choices, call.out,
                                                        call.files);
        } else {
            orvane::host::JoinDomain(domainArgument, CredentialsOf(user, password), choices, call.out, call.files);
        }
    } catch (const orvane::host::JoinedWithoutDnsRecords& e) {
        call.out << e.what() << ", or run 'orvauthctl dns-update on'\n";
        return EXIT_FAILED;
    }
    return EXIT_OK;
}

int JoinProxy(const Invocation& call)
{
    const std::string& server = call.arguments.operands[0];
    std::unique_ptr<ActiveDirectoryStore> store = CreateDirectoryStore();
    ReportJoinRetries();
    {
        Progress progress("Joining through " + server);
        store->JoinDomainWithJORV(server, call.arguments.Value("ou"), call.arguments.Has("skip-hostname-check"));
    }
    call.out << "Joined the host to the domain of the authentication proxy " << server << ".\n";
    if (call.arguments.Has("activate")) {
        store->MakeActive();
        call.out << "Active store: " << store->GetDisplayName() << '\n';
    }
    return EXIT_OK;
}

int Leave(const Invocation& call)
{
    if (!call.arguments.Has("user")) {
        if (call.arguments.Has("password-stdin")) {
            throw UsageError("--password-stdin needs --user");
        }
        orvane::host::LeaveDomain(nullptr, call.out, call.files);
    } else {
        const std::string user = call.arguments.Value("user");
        Secret password;
        ReadPassword(password, user, call.arguments.Has("password-stdin"));
        const Credentials credentials = CredentialsOf(user, password);
        orvane::host::LeaveDomain(&credentials, call.out, call.files);
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
    std::string text;
    if (const int error = orvauth_base::ReadWholeFile(path, text)) {
        throw std::runtime_error("cannot read '" + path + "': " + std::strerror(error));
    }
    return text;
}

int ImportCertificate(const Invocation& call)
{
    const std::string& path = call.arguments.operands[0];
    std::unique_ptr<ActiveDirectoryStore> store = CreateDirectoryStore();
    if (call.arguments.operands.size() == 2) {
        const std::string& server = call.arguments.operands[1];
        if (!NodeCtl::Network::Ipv4Address::IsValidAddress(server)) {
            throw UsageError("import-cert: '" + server + "' is not an IPv4 address (the proxy's address, such as 192.0.2.10)");
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
        {"join", "<domain[/ou]> (--user <name> | --one-time-password) [--ou <ou>] [--password-stdin] [--activate]"
                 " [--skip-hostname-check]\n"
                 "       [--use-ldaps] [--description <text>] [--dns-update]\n"
                 "       [--id-mapping sid|posix]",
         "join a domain with an administrator's credentials or a preset account",
         "Joins the host to <domain>, its machine account in the organizational unit of --ou or\n"
         "after the first '/' (the directory's default when none), as --user (who needs the right\n"
         "to create computer objects there) or taking over the account preset for the host\n"
         "(--one-time-password). The password is asked for without echo, or read from standard\n"
         "input; never from the command line or the environment. Run as root. --use-ldaps and\n"
         "--description stay in the plug-in's adclient.conf for later operations.",
         {{"user", "<name>", "the account that joins the host"},
          {"one-time-password", "",
           "join with the computer account preset for this host: the password asked for is the\n"
           "one-time password the administrator set"},
          OU, PASSWORD_STDIN, ACTIVATE, SKIP_HOSTNAME_CHECK, {"use-ldaps", "", "talk to the domain controllers over LDAPS (TCP 636) only (kept in adclient.conf)"},
          {"description", "<text>", "the computer account's description (one line; kept in adclient.conf)"},
          {"dns-update", "", "register the host's A/AAAA and PTR records and have SSSD keep them"}, ID_MAPPING},
         1, 1, Join, {}},
        {"join-proxy", "<server> [--ou <ou>] [--activate] [--skip-hostname-check]",
         "join the domain of an authentication proxy, which creates the machine account",
         "Joins the host through the authentication proxy at IPv4 address <server>; no credentials\n"
         "pass through the host. The proxy's certificate is checked against the imported thumbprint\n"
         "when the advanced option UserVars.ActiveDirectoryVerifyJORVCertificate is 1 (see\n"
         "--verify-proxy-cert). The host's name is always resolved.",
         {OU, ACTIVATE, SKIP_HOSTNAME_CHECK},
         1, 1, JoinProxy, {}},
        {"leave", "[--user <name> [--password-stdin]]", "take the host out of its domain",
         "Leaves the domain and removes the membership record from the host configuration store.\n"
         "Without --user the machine account stays in the directory; with --user it is removed with\n"
         "those credentials (password as for join), and so are the DNS records dns-update registered.\n"
         "On a host that is not joined it says so and fails; a leave that was interrupted is\n"
         "completed.",
         {{"user", "<name>", "leave with this account's credentials"}, PASSWORD_STDIN}, 0, 0, Leave, {}},
        {"proxy-domain", "<server>", "show the DNS domain an authentication proxy serves",
         "Asks the authentication proxy at IPv4 address <server> for its domain's DNS name. The\n"
         "proxy's certificate is not checked.",
         {}, 1, 1, ProxyDomain, {}},
        {"import-cert", "<pem-file> [<server>]", "trust an authentication proxy's certificate",
         "Without <server>, trusts the PEM certificate for every proxy: it and its thumbprint go to\n"
         "the host configuration store. With <server>, trusts it for the proxy at that IPv4 address:\n"
         "kept in jorvservers.conf when the configuration store is disabled (--no-config-store),\n"
         "otherwise again in the configuration store for every proxy.",
         {}, 1, 2, ImportCertificate, {}},
    };
}

}  // namespace orvauthctl
