#include "FailureHints.h"

#include <orvane/authentication/Configuration.h>
#include <orvane/authentication/Exceptions.h>
#include <orvane/host/Stores.h>

#include <set>
#include <unistd.h>

namespace orvauthctl {
namespace {

namespace auth = orvane::authentication;


// The library's files, and the line each needs at the least.
struct ConfigFile {
    const char* name;
    const char* content;  // what to create it with
};
const ConfigFile CONFIG_FILES[] = {
    {"authentication.conf", "the line remote-authentication-store = \"None\" (local users only)"},
    {"provider.conf", "the line provider = \"adclient\" (the Active Directory client plug-in)"},
    {"jorvprovider.conf", "the line provider = \"adproxy\" (the authentication proxy's client plug-in)"},
    {"jorvservers.conf", "no lines at all (no proxy is trusted yet)"},
};

// Commands that change the host's files or membership.
const std::set<std::string> ROOT_COMMANDS = {"activate", "join", "join-proxy", "leave", "import-cert", "logins",
                                             "smartcard"};

std::string HostName()
{
    char name[256] = {};
    return gethostname(name, sizeof name - 1) == 0 ? name : "(unknown)";
}

// A plug-in that cannot be named or loaded: which file says which plug-in.
std::string ProviderHint(const std::string& what, const char* file, const char* plugin, const char* role)
{
    const std::string path = auth::ConfigurationDirectory() + "/" + file;
    if (what.find("'(none installed)'") != std::string::npos) {
        return path + " is missing or unreadable: it names the " + role + " plug-in; create it holding the line " +
               "provider = \"" + plugin + "\"";
    }
    if (what.find("'(unset)'") != std::string::npos) {
        return path + " names no plug-in: put the line provider = \"" + plugin + "\" in it";
    }
    return "the plug-in named in " + path + " cannot be loaded: check that name (" + plugin + " for the " + role +
           ") and that lib<name>.so is installed in " + auth::PluginDirectory();
}

// A membership failure: the domain and host in question, and the usual fix.
std::string MembershipHint(const std::string& command, const ParsedArguments& arguments, unsigned long code,
                           const std::string& what)
{
    if (what.find("The organizational unit does not exist") != std::string::npos) {
        return "create the organizational unit in the directory, or name an existing one with --ou (a path from the "
               "domain's top such as Servers/Hypervisors, or a DN)";
    }
    std::string domain = arguments.operands.empty() ? "" : arguments.operands[0];
    domain = domain.substr(0, domain.find('/'));
    const std::string host = "host " + HostName();
    if (command == "join-proxy") {
        // The proxy's client names the kind of refusal and its fix itself.
        if (what.find("The authentication proxy") != std::string::npos) {
            return "";
        }
        return "joining " + host + " through the authentication proxy " + domain +
               ": the proxy's log and the system log here have the details";
    }
    const std::string joining = (command == "join" ? "joining " + host + " to " + domain : "leaving the domain") + ": ";
    switch (code) {
    case 1326: case 86: case 1317: case 1315:
        if (arguments.Has("one-time-password")) {
            return joining + "the domain refused the one-time password of the host's preset computer account";
        }
        return joining + "the domain refused the account '" + arguments.Value("user") + "' or its password; check both";
    case 1355: case 1311: case 1212:
        return joining + "no domain controller answered for " + domain + "; check that the host's DNS server " +
               "resolves the domain ('orvauthctl discover " + domain + "')";
    case 1398:
        return joining + "the host's clock differs from the domain controller's; synchronise it (NTP)";
    case 5:
        return joining + "the account '" + arguments.Value("user") + "' may not create or reset the machine account";
    default:
        return "";
    }
}

// The domain the host is in, and the two ways out of it.
std::string AlreadyJoinedHint()
{
    std::string domain;
    try {
        domain = orvane::host::JoinedDomain();
    } catch (const std::exception&) {
    }
    return "the host is already joined to " + (domain.empty() ? std::string("a domain") : domain) +
           ": leave it first ('orvauthctl leave', or 'orvauthctl leave --user <name>' to remove its machine account "
           "too), then join again";
}

}  // namespace

std::vector<std::string> FailureHints(const std::string& command, const ParsedArguments& arguments,
                                      const std::exception& error)
{
    std::vector<std::string> hints;
    const std::string what = error.what();
    if (geteuid() != 0 && ROOT_COMMANDS.count(command) != 0) {
        hints.push_back("'" + command + "' must be run as root: it changes the host's configuration");
    }
    // The library's texts are fixed, so they say which file is at fault even
    // when a report passed them on as plain text.
    if (what.rfind("The specified Active Directory provider '", 0) == 0) {
        hints.push_back(ProviderHint(what, "provider.conf", "adclient", "directory client"));
        return hints;
    }
    if (what.rfind("The specified JORVProxy provider '", 0) == 0) {
        hints.push_back(ProviderHint(what, "jorvprovider.conf", "adproxy", "authentication proxy client"));
        return hints;
    }
    for (const ConfigFile& file : CONFIG_FILES) {
        const std::string path = auth::ConfigurationDirectory() + "/" + file.name;
        if (what.find("'" + path + "'") != std::string::npos) {
            // A file that is there failed otherwise (a full disk, say): the
            // message and the logged reason tell how.
            if (::access(path.c_str(), R_OK) != 0) {
                hints.push_back(path + " must exist and be readable: create it with " + file.content);
            }
            return hints;
        }
    }
    if (dynamic_cast<const auth::SetupAlreadyJoinedException*>(&error) != nullptr) {
        hints.push_back(AlreadyJoinedHint());
    } else if (dynamic_cast<const auth::InvalidThumbprintStoreException*>(&error) != nullptr) {
        hints.push_back("no certificate of an authentication proxy is trusted yet: import the proxy's certificate " +
                        std::string("first (orvauthctl import-cert <pem-file> <server>)"));
    } else if (dynamic_cast<const auth::InvalidHostNameException*>(&error) != nullptr) {
        hints.push_back("the host's name " + HostName() + " must be a name in the domain (host.domain): set it with " +
                        "hostnamectl set-hostname, or pass --skip-hostname-check");
    } else if (const auto* failure = dynamic_cast<const auth::Exception*>(&error)) {
        if (command == "join" || command == "join-proxy" || command == "leave") {
            std::string hint = MembershipHint(command, arguments, failure->Code(), what);
            if (!hint.empty()) {
                hints.push_back(hint);
            }
        }
    }
    return hints;
}

}  // namespace orvauthctl
