// logins enable | disable | status | permit | deny, renew and dns-update: what the
// operator asked for, handed to the host integration library, and what it
// did, printed.
#include "LoginCommands.h"

#include "Json.h"

#include <orvane/host/DnsRegistration.h>
#include <orvane/host/Logins.h>
#include <orvane/host/Renewal.h>

#include <algorithm>
#include <ctime>
#include <ostream>

namespace orvauthctl {
namespace {

using namespace orvane::host;

// The whole number of days an option gives; zeroMeans says what 0 stands for.
int Days(const Invocation& call, const std::string& option, const std::string& zeroMeans)
{
    const std::string value = call.arguments.Value(option);
    if (value.empty() || value.size() > 5 || value.find_first_not_of("0123456789") != std::string::npos) {
        throw UsageError("--" + option + " takes a number of days (0: " + zeroMeans + "), not '" + value + "'");
    }
    return std::stoi(value);
}

void PrintPermitted(const LoginAccess& access, std::ostream& out)
{
    out << "permitted to log in:";
    for (const std::string& line : DescribeAccess(access)) {
        out << "\n  " << line;
    }
}

void PrintAdministrators(const Administrators& administrators, std::ostream& out)
{
    out << "administrators (sudo, any command as root):";
    for (const std::string& line : DescribeAdministrators(administrators)) {
        out << "\n  " << line;
    }
}

void PrintStatus(const Invocation& call, const LoginsStatus& status)
{
    const SssdSnippet& settings = status.settings;
    std::string passwordError;
    MachinePasswordAge password;
    try {
        password = ReadMachinePasswordAge(call.files);
    } catch (const std::exception& e) {
        passwordError = e.what();
    }
    if (call.arguments.Has("json")) {
        const Json machinePassword = passwordError.empty() ? Json{{"key_version", password.keyVersion},
                                                                  {"set_at", password.setAt},
                                                                  {"renew_after_days", password.renewAfterDays},
                                                                  {"checks", password.checks}}
                                                           : Json{{"error", passwordError}};
        Json files = Json::object();
        for (const LoginFileState& file : status.files) {
            files[file.path] = file.state;
        }
        Json access = {{"mode", AccessModeName(settings.access.mode)},
                       {"users", settings.access.users},
                       {"groups", settings.access.groups}};
        PrintJson(call.out, {{"active_store", status.activeStore},
                             {"pam_backend", status.pamBackend},
                             {"files", files},
                             {"domain", settings.domain},
                             {"permitted", access},
                             {"administrators",
                              {{"users", status.administrators.users}, {"groups", status.administrators.groups}}},
                             {"offline_days", settings.offlineDays},
                             {"machine_password_age_days", settings.passwordAgeDays},
                             {"dns_update", settings.dnsUpdate > 0},
                             {"machine_password", machinePassword}});
        return;
    }
    call.out << "active store: " << status.activeStore << "\nmodules: " << status.nssModule
             << " (name-service switch), " << status.pamModule << " (PAM, through " << status.pamBackend << ")\n";
    for (const LoginFileState& file : status.files) {
        call.out << file.path << ": " << file.state << '\n';
    }
    PrintPermitted(settings.access, call.out);
    call.out << '\n';
    PrintAdministrators(status.administrators, call.out);
    call.out << "\noffline logins: "
             << (settings.offlineDays < 0    ? "SSSD's default"
                 : settings.offlineDays == 0 ? "no limit"
                                             : "within " + std::to_string(settings.offlineDays) +
                                                   " days of the last online login")
             << "\nDNS registration: " << (settings.dnsUpdate > 0 ? "on (SSSD keeps the host's records)" : "off")
             << "\nmachine password: "
             << (passwordError.empty() ? DescribePasswordAge(password, std::time(nullptr)) : "unknown: " + passwordError)
             << '\n';
}

int Status(const Invocation& call, const Logins& logins, const std::vector<std::string>& pamFiles)
{
    const LoginsStatus status = logins.Status(pamFiles);
    PrintStatus(call, status);
    for (const std::string* error : {&status.settingsError, &status.administratorsError}) {
        if (!error->empty()) {
            throw std::runtime_error(*error);
        }
    }
    const size_t unknown = std::count_if(status.files.begin(), status.files.end(),
                                         [](const LoginFileState& f) { return f.state.rfind("unknown:", 0) == 0; });
    if (unknown != 0) {
        throw std::runtime_error(std::to_string(unknown) + " file(s) could not be examined");
    }
    return EXIT_OK;
}

int Access(const Invocation& call, const Logins& logins, bool permit)
{
    const ParsedArguments& arguments = call.arguments;
    std::vector<std::string> names(arguments.operands.begin() + 1, arguments.operands.end());
    const int kinds = (arguments.Has("user") ? 1 : 0) + (arguments.Has("group") ? 1 : 0) +
                      (arguments.Has("all") ? 1 : 0) + (arguments.Has("gpo") ? 1 : 0);
    if (kinds != 1 || (!permit && arguments.Has("gpo"))) {
        throw UsageError(std::string("logins ") + (permit ? "permit" : "deny") + " takes one of " +
                         (permit ? "--user, --group, --all or --gpo" : "--user, --group or --all"));
    }
    const bool all = arguments.Has("all") || arguments.Has("gpo");
    if (all != names.empty()) {
        throw UsageError(all ? "--all and --gpo take no names" : "--user and --group take one name or more");
    }
    const LoginNames kind = arguments.Has("user") ? LoginNames::Users : LoginNames::Groups;
    LoginAccess access;
    if (permit && all) {
        access = logins.PermitAll(arguments.Has("gpo") ? AccessMode::DomainPolicy : AccessMode::Everyone, call.out);
    } else if (permit) {
        access = logins.Permit(kind, names, call.out);
    } else if (all) {
        access = logins.DenyAll(call.out);
    } else {
        access = logins.Deny(kind, names, call.out);
    }
    PrintPermitted(access, call.out);
    call.out << '\n';
    return EXIT_OK;
}

// admins: names added to the administrators, or none; and who of them the
// login rules do not name, since being one lets nobody log in.
int Admins(const Invocation& call, const Logins& logins)
{
    const ParsedArguments& arguments = call.arguments;
    const std::vector<std::string> names(arguments.operands.begin() + 1, arguments.operands.end());
    const int kinds = (arguments.Has("user") ? 1 : 0) + (arguments.Has("group") ? 1 : 0) + (arguments.Has("none") ? 1 : 0);
    if (kinds != 1 || arguments.Has("all") || arguments.Has("gpo")) {
        throw UsageError("logins admins takes one of --user, --group or --none");
    }
    if (arguments.Has("none") != names.empty()) {
        throw UsageError(arguments.Has("none") ? "--none takes no names" : "--user and --group take one name or more");
    }
    if (arguments.Has("none")) {
        logins.RemoveAdministrators(call.out);
        PrintAdministrators(Administrators{}, call.out);
        call.out << '\n';
        return EXIT_OK;
    }
    const Administrators administrators =
        logins.AddAdministrators(arguments.Has("user") ? LoginNames::Users : LoginNames::Groups, names, call.out);
    PrintAdministrators(administrators, call.out);
    call.out << '\n';
    const std::vector<std::string> outside = AdministratorsNotPermitted(administrators, logins.Status({}).settings.access);
    if (!outside.empty()) {
        call.out << "Being an administrator does not let one log in; the login rules do not name:";
        for (const std::string& line : outside) {
            call.out << "\n  " << line;
        }
        call.out << "\n(permit them with 'orvauthctl logins permit --user/--group <name>', unless a permitted "
                    "group already lets them in)\n";
    }
    return EXIT_OK;
}

int RunLogins(const Invocation& call)
{
    const std::string& verb = call.arguments.operands[0];
    const Logins logins(call.files);
    if (verb == "permit" || verb == "deny") {
        return Access(call, logins, verb == "permit");
    }
    if (verb == "admins") {
        return Admins(call, logins);
    }
    const std::vector<std::string> pamFiles(call.arguments.operands.begin() + 1, call.arguments.operands.end());
    if (std::find(pamFiles.begin(), pamFiles.end(), "") != pamFiles.end()) {
        throw UsageError("logins: an empty PAM file name");
    }
    if (verb == "enable") {
        logins.Enable(pamFiles, call.arguments.Has("offline-days") ? Days(call, "offline-days", "no limit") : -1,
                      call.out);
    } else if (verb == "disable") {
        logins.Disable(pamFiles, call.out);
    } else {
        return Status(call, logins, pamFiles);
    }
    return EXIT_OK;
}

// renew: a new machine password now; or, with --every or --checks, when
// SSSD renews it by itself. SSSD's renewal task is the only schedule:
// --every sets its period, so two renewals never race.
int Renew(const Invocation& call)
{
    if (call.arguments.Has("every") || call.arguments.Has("checks")) {
        const int days = call.arguments.Has("every") ? Days(call, "every", "never") : -1;
        std::string checks;
        if (call.arguments.Has("checks")) {
            try {
                checks = RenewalChecks(call.arguments.Value("checks"));
            } catch (const std::invalid_argument& e) {
                throw UsageError(std::string("--checks: ") + e.what());
            }
        }
        Logins(call.files).SetPasswordRenewal(days, checks, call.out);
        if (days >= 0) {
            call.out << (days == 0 ? std::string("SSSD will not renew the machine password\n")
                                   : "SSSD renews the machine password when it is " + std::to_string(days) +
                                         " days old\n");
        }
        if (!checks.empty()) {
            call.out << "SSSD checks the password's age every " << checks.substr(0, checks.find(':'))
                     << " s, first " << checks.substr(checks.find(':') + 1) << " s after it starts\n";
        }
        return EXIT_OK;
    }
    const std::string domain = RenewMachinePassword();
    call.out << "The machine password in " << domain
             << " was renewed; the host's keytab holds the new key and keeps the previous one\n";
    return EXIT_OK;
}

int DnsUpdate(const Invocation& call)
{
    SetDnsUpdate(call.files, call.arguments.operands[0] == "on", call.out);
    return EXIT_OK;
}

}  // namespace

std::vector<Command> LoginCommands()
{
    return {
        {"logins",
         "enable [--offline-days <n>] | disable | status [--json] [<pam-file>...]\n"
         "       | permit --user <name>... | --group <name>... | --all | --gpo\n"
         "       | deny --user <name>... | --group <name>... | --all\n"
         "       | admins --user <name>... | --group <name>... | --none",
         "let directory users log in, or stop them; say who may",
         "enable adds the directory plug-in's NSS and PAM modules (through pam-auth-update where it\n"
         "manages /etc/pam.d, with homes created at the first session) and, on a joined host, the\n"
         "tool's SSSD settings; disable takes away exactly what enable added. permit and deny say\n"
         "who may log in (nobody until permit does); admins makes directory users or groups\n"
         "administrators through sudo; status shows all of it.",
         {{"offline-days", "<n>", "enable: days offline logins stay possible (default 7, 0: no limit)"},
          {"json", "", "status: one JSON document"},
          {"user", "", "permit/deny/admins: the names are users"},
          {"group", "", "permit/deny/admins: the names are groups"},
          {"none", "", "admins: no directory user or group is an administrator"},
          {"all", "", "permit/deny: every directory user"},
          {"gpo", "", "permit: the domain's group policy decides"}},
         1, SIZE_MAX, RunLogins, {"enable", "disable", "status", "permit", "deny", "admins"}},
        {"renew", "[--every <days>] [--checks <period>:<first delay>]", "renew the machine account password",
         "Gives the machine account a new password now (the previous key stays in the keytab); a\n"
         "failure leaves the old one working. --every and --checks set instead when SSSD renews it\n"
         "by itself, the only schedule there is.",
         {{"every", "<days>", "the automatic renewal's period in days (0: never)"},
          {"checks", "<period>:<first delay>", "how often SSSD checks the password's age, in seconds"}},
         0, 0, Renew, {}},
        {"dns-update", "on | off", "register the host in the domain's DNS, or stop",
         "on registers the host's A/AAAA records, and PTR records where the reverse zone exists,\n"
         "by secure dynamic update as the machine account, and has SSSD keep them up to date; off\n"
         "removes them and stops SSSD's updates. Needs a joined host.",
         {}, 1, 1, DnsUpdate, {"on", "off"}},
    };
}

}  // namespace orvauthctl
