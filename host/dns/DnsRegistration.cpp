// Registration runs two programs, bounded like every program the library
// runs: kinit takes the machine account's ticket from the host keytab into
// a credential cache of this call's own, nsupdate -g writes the records
// with it. nsupdate finds the zone and its primary server through the
// host's resolver, as SSSD's own updates do.
#include <orvane/host/DnsRegistration.h>

#include <orvane/host/LoginAccess.h>
#include <orvane/host/Stores.h>

#include "MachineAccount.h"
#include "logins/LoginSettingsFile.h"
#include "base/AsciiText.h"
#include "base/BoundedProgram.h"
#include "base/FileReplacement.h"

#include <arpa/inet.h>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <ostream>
#include <resolv.h>
#include <set>

extern char** environ;

namespace orvane::host {
namespace {

const char* const KINIT = "/usr/bin/kinit";
const char* const NSUPDATE = "/usr/bin/nsupdate";
constexpr std::chrono::seconds PROGRAM_BOUND{15};
constexpr int RECORD_TTL = 3600;

// Every address of an interface that is up, but loopback and link-local
// ones: the set SSSD registers with dyndns_iface = *.
std::vector<std::string> HostAddresses()
{
    struct ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) {
        throw DnsUpdateFailed(std::string("cannot list the host's addresses: ") + std::strerror(errno));
    }
    std::vector<std::string> addresses;
    for (const struct ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || (entry->ifa_flags & IFF_UP) == 0 || (entry->ifa_flags & IFF_LOOPBACK) != 0) {
            continue;
        }
        char text[INET6_ADDRSTRLEN] = {};
        if (entry->ifa_addr->sa_family == AF_INET) {
            const in_addr& address = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr;
            const uint32_t host = ntohl(address.s_addr);
            if ((host >> 24) != 127 && (host >> 16) != 0xa9fe) {
                addresses.push_back(inet_ntop(AF_INET, &address, text, sizeof text));
            }
        } else if (entry->ifa_addr->sa_family == AF_INET6) {
            const in6_addr& address = reinterpret_cast<const sockaddr_in6*>(entry->ifa_addr)->sin6_addr;
            if (!IN6_IS_ADDR_LINKLOCAL(&address) && !IN6_IS_ADDR_LOOPBACK(&address)) {
                addresses.push_back(inet_ntop(AF_INET6, &address, text, sizeof text));
            }
        }
    }
    ::freeifaddrs(list);
    return addresses;
}

std::string ReverseName(const std::string& address)
{
    unsigned char bytes[16];
    std::string name;
    const char* digits = "0123456789abcdef";
    if (inet_pton(AF_INET, address.c_str(), bytes) == 1) {
        for (int i = 3; i >= 0; --i) {
            name += std::to_string(bytes[i]) + ".";
        }
        return name + "in-addr.arpa.";
    }
    if (inet_pton(AF_INET6, address.c_str(), bytes) == 1) {
        for (int i = 15; i >= 0; --i) {
            name += std::string(1, digits[bytes[i] & 0xf]) + "." + digits[bytes[i] >> 4] + ".";
        }
        return name + "ip6.arpa.";
    }
    throw DnsUpdateFailed("'" + address + "' is not an IP address");
}

// The machine account's ticket in a directory of this call's own, gone
// when the call ends.
class TicketCache {
public:
    explicit TicketCache(const MachineAccount& account)
    {
        char pattern[] = "/tmp/orvauth-dns.XXXXXX";
        if (::mkdtemp(pattern) == nullptr) {
            throw DnsUpdateFailed(std::string("cannot create a directory for the machine account's ticket: ") +
                                  std::strerror(errno));
        }
        directory = pattern;
        orvauth_base::ProgramOutcome outcome;
        Run({KINIT, "-k", "-t", account.keytab, "-c", Cache(), account.principal}, outcome, "kinit");
        if (outcome.status != 0) {
            std::filesystem::remove_all(directory);
            throw DnsUpdateFailed("the machine account " + account.principal + " could not authenticate with " +
                                  account.keytab + " (" + orvauth_base::Trim(outcome.Printed()) +
                                  "): check that the host is still joined (orvauthctl status)");
        }
    }
    ~TicketCache()
    {
        std::error_code ignored;
        std::filesystem::remove_all(directory, ignored);
    }
    TicketCache(const TicketCache&) = delete;
    TicketCache& operator=(const TicketCache&) = delete;

    std::string Cache() const { return "FILE:" + directory + "/ccache"; }

    // Runs one nsupdate script; true when the server took it.
    bool Update(const std::string& script, std::string& printed) const
    {
        const std::string path = directory + "/update";
        if (const int error = orvauth_base::ReplaceFile(path, script, 0600).error) {
            throw DnsUpdateFailed("cannot write " + path + ": " + std::strerror(error));
        }
        std::vector<std::string> environment{"KRB5CCNAME=" + Cache()};
        for (char** variable = environ; *variable != nullptr; ++variable) {
            if (std::strncmp(*variable, "KRB5CCNAME=", 11) != 0) {
                environment.emplace_back(*variable);
            }
        }
        orvauth_base::ProgramOutcome outcome;
        Run({NSUPDATE, "-g", "-t", "10", path}, outcome, "nsupdate", &environment);
        printed = orvauth_base::Trim(outcome.Printed());
        return outcome.status == 0;
    }

private:
    static void Run(const std::vector<std::string>& argv, orvauth_base::ProgramOutcome& outcome, const char* name,
                    const std::vector<std::string>* environment = nullptr)
    {
        if (const int error = orvauth_base::RunBoundedProgram(argv, environment, PROGRAM_BOUND, outcome)) {
            throw DnsUpdateFailed(std::string("cannot run ") + argv[0] + ": " + std::strerror(error) +
                                  (error == ENOENT ? " (install the package that has it)" : ""));
        }
        if (outcome.timedOut) {
            throw DnsUpdateFailed(std::string(name) + " had no answer from the domain's servers within " +
                                  std::to_string(PROGRAM_BOUND.count()) + " s: check that a controller is reachable");
        }
    }

    std::string directory;
};

// The record data the host's resolver gives for name now: addresses for A
// and AAAA, names for PTR.
std::set<std::string> Answers(const std::string& name, int type)
{
    struct __res_state resolver {};
    if (res_ninit(&resolver) != 0) {
        return {};
    }
    resolver.retrans = 2;
    resolver.retry = 2;
    std::vector<unsigned char> answer(NS_MAXMSG);
    const int length = res_nquery(&resolver, name.c_str(), ns_c_in, type, answer.data(), static_cast<int>(answer.size()));
    res_nclose(&resolver);
    ns_msg message;
    std::set<std::string> data;
    if (length <= 0 || ns_initparse(answer.data(), length, &message) != 0) {
        return data;
    }
    for (int index = 0; index < ns_msg_count(message, ns_s_an); ++index) {
        ns_rr record;
        char text[NS_MAXDNAME];
        if (ns_parserr(&message, ns_s_an, index, &record) != 0 || ns_rr_type(record) != type) {
            continue;
        }
        if (type == ns_t_ptr) {
            if (dn_expand(ns_msg_base(message), ns_msg_end(message), ns_rr_rdata(record), text, sizeof text) >= 0) {
                data.insert(orvauth_base::ToLower(text));
            }
        } else if (inet_ntop(type == ns_t_a ? AF_INET : AF_INET6, ns_rr_rdata(record), text, sizeof text) != nullptr) {
            data.insert(text);
        }
    }
    return data;
}

// Samba's internal DNS server signs its answer to a signed update in a way
// nsupdate of BIND 9.18 does not verify ("tsig verify failure"), whether it
// made the update or refused it: the records then say which.
bool Made(bool accepted, const std::string& printed, const std::function<bool()>& recordsAsAsked)
{
    return accepted || (printed.find("tsig verify failure") != std::string::npos && recordsAsAsked());
}

// Writes (or, addresses empty, deletes) the records; a reverse record
// without a zone is reported, not fatal.
void Publish(const MachineAccount& account, const std::vector<std::string>& addresses,
             const std::vector<std::string>& reverseAddresses, bool add, std::ostream& report)
{
    const TicketCache ticket(account);
    std::string printed;
    const auto forwardAsAsked = [&] {
        std::set<std::string> now = Answers(account.hostName, ns_t_a), v6 = Answers(account.hostName, ns_t_aaaa);
        now.insert(v6.begin(), v6.end());
        return now == std::set<std::string>(addresses.begin(), addresses.end());
    };
    if (!Made(ticket.Update(ForwardUpdate(account.hostName, addresses), printed), printed, forwardAsAsked)) {
        throw DnsUpdateFailed("the domain's DNS refused the update of " + account.hostName + " (" + printed +
                              "): check that it allows secure dynamic updates");
    }
    std::string list;
    for (const std::string& address : addresses) {
        list += (list.empty() ? "" : ", ") + address;
    }
    report << "DNS: " << account.hostName << (add ? " registered with " + list : " removed") << '\n';
    for (const std::string& address : reverseAddresses) {
        const bool done = Made(ticket.Update(ReverseUpdate(account.hostName, address, add), printed), printed, [&] {
            return Answers(ReverseName(address), ns_t_ptr) ==
                   (add ? std::set<std::string>{account.hostName} : std::set<std::string>{});
        });
        report << "DNS: reverse record of " << address
               << (done ? (add ? " registered" : " removed") : " not changed (no reverse zone for it in the domain's DNS?)")
               << '\n';
    }
}

MachineAccount Account(const HostFiles& files, const std::string& domain)
{
    try {
        return ReadMachineAccount(files, domain);
    } catch (const std::runtime_error& e) {
        throw DnsUpdateFailed(e.what());
    }
}

std::string Domain()
{
    const std::string domain = JoinedDomain();
    if (domain.empty()) {
        throw DnsUpdateFailed("this host is not joined to a domain: join it first (orvauthctl join)");
    }
    return domain;
}

}  // namespace

std::string ForwardUpdate(const std::string& hostName, const std::vector<std::string>& addresses)
{
    std::string script = "update delete " + hostName + ". A\nupdate delete " + hostName + ". AAAA\n";
    for (const std::string& address : addresses) {
        const bool v6 = address.find(':') != std::string::npos;
        script += "update add " + hostName + ". " + std::to_string(RECORD_TTL) + (v6 ? " AAAA " : " A ") + address + "\n";
    }
    return script + "send\n";
}

std::string ReverseUpdate(const std::string& hostName, const std::string& address, bool add)
{
    const std::string name = ReverseName(address);
    return "update delete " + name + " PTR\n" +
           (add ? "update add " + name + " " + std::to_string(RECORD_TTL) + " PTR " + hostName + ".\n" : "") + "send\n";
}

bool DnsUpdateOn(const HostFiles& files) { return LoginSettingsFile(files.sssdConf).Load().dnsUpdate > 0; }

void SetDnsUpdate(const HostFiles& files, bool on, std::ostream& report)
{
    const std::string domain = Domain();
    const MachineAccount account = Account(files, domain);
    const std::vector<std::string> addresses = HostAddresses();
    if (on && addresses.empty()) {
        throw DnsUpdateFailed("the host has no address to register (loopback and link-local ones are not); "
                              "nothing was changed");
    }
    // Written first when turned on, so that SSSD repeats what failed here.
    const LoginSettingsFile settingsFile(files.sssdConf);
    SssdSnippet snippet = settingsFile.LoadFor(domain);
    const bool wasOn = snippet.dnsUpdate > 0;
    snippet.dnsUpdate = on ? 1 : 0;
    if (!on && !wasOn) {
        // Records the host did not register are the DNS administrator's.
        settingsFile.Save(snippet, report);
        report << "DNS: registration was not on; no record was changed\n";
        return;
    }
    if (on) {
        settingsFile.Save(snippet, report);
    }
    Publish(account, on ? addresses : std::vector<std::string>{}, addresses, on, report);
    if (!on) {
        settingsFile.Save(snippet, report);
    }
}

void RemoveDnsRecords(const HostFiles& files, std::ostream& report)
{
    if (!DnsUpdateOn(files)) {
        return;
    }
    const std::string domain = Domain();
    Publish(Account(files, domain), {}, HostAddresses(), false, report);
}

}  // namespace orvane::host
