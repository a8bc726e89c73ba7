#include "base/DomainDiscovery.h"

#include "base/AsciiText.h"
#include "base/ControllerProbe.h"
#include "base/NetlogonPing.h"

#include <algorithm>
#include <cstring>
#include <netdb.h>
#include <poll.h>
#include <random>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace orvauth_base {
namespace {

using Clock = std::chrono::steady_clock;

// The next controller is asked this long after the one before it, so a
// live controller listed after a dead one costs little, and a domain with
// many controllers is not asked all at once.
constexpr std::chrono::milliseconds STAGGER{50};
// A datagram may be lost; each controller is asked again after this.
constexpr std::chrono::milliseconds RESEND{500};
constexpr std::size_t MAX_REPLY = 4096;  // answers are a few hundred bytes

struct Target {
    sockaddr_storage address{};
    socklen_t length = 0;
    Clock::time_point nextPing;
};

bool SameAddress(const sockaddr_storage& a, const sockaddr_storage& b)
{
    if (a.ss_family != b.ss_family) {
        return false;
    }
    if (a.ss_family == AF_INET) {
        const auto &x = reinterpret_cast<const sockaddr_in&>(a), &y = reinterpret_cast<const sockaddr_in&>(b);
        return x.sin_port == y.sin_port && x.sin_addr.s_addr == y.sin_addr.s_addr;
    }
    const auto &x = reinterpret_cast<const sockaddr_in6&>(a), &y = reinterpret_cast<const sockaddr_in6&>(b);
    return x.sin6_port == y.sin6_port && std::memcmp(&x.sin6_addr, &y.sin6_addr, sizeof x.sin6_addr) == 0;
}

std::vector<Target> Addresses(const std::vector<std::string>& controllers, Clock::time_point start)
{
    std::vector<Target> targets;
    for (const std::string& name : controllers) {
        addrinfo hints{};
        hints.ai_socktype = SOCK_DGRAM;
        addrinfo* found = nullptr;
        if (getaddrinfo(name.c_str(), "389", &hints, &found) != 0) {
            continue;
        }
        for (addrinfo* each = found; each != nullptr; each = each->ai_next) {
            if ((each->ai_family == AF_INET || each->ai_family == AF_INET6) && each->ai_addrlen <= sizeof(sockaddr_storage)) {
                Target target;
                std::memcpy(&target.address, each->ai_addr, each->ai_addrlen);
                target.length = each->ai_addrlen;
                target.nextPing = start + STAGGER * static_cast<int>(targets.size());
                targets.push_back(target);
            }
        }
        freeaddrinfo(found);
    }
    return targets;
}

// One datagram socket per address family, opened when first needed.
class Sockets {
public:
    ~Sockets()
    {
        for (const pollfd& each : fds_) {
            close(each.fd);
        }
    }
    int For(int family)
    {
        for (std::size_t i = 0; i < families_.size(); ++i) {
            if (families_[i] == family) {
                return fds_[i].fd;
            }
        }
        const int fd = socket(family, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd >= 0) {
            fds_.push_back({fd, POLLIN, 0});
            families_.push_back(family);
        }
        return fd;
    }
    std::vector<pollfd>& Polled() { return fds_; }

private:
    std::vector<pollfd> fds_;
    std::vector<int> families_;
};

std::string Joined(const std::vector<std::string>& names)
{
    std::string text;
    for (const std::string& name : names) {
        text += (text.empty() ? "" : ", ") + name;
    }
    return text;
}

// Pings the targets until one answers validly; false when the deadline passes first.
bool Ping(std::vector<Target>& targets, const std::string& domain, Clock::time_point deadline, NetlogonFacts& facts)
{
    std::mt19937 random{std::random_device{}()};
    const std::uint32_t messageId = std::uniform_int_distribution<std::uint32_t>{1, 0x7fffffff}(random);
    const std::string request = EncodeNetlogonPing(messageId, domain);
    Sockets sockets;
    unsigned char reply[MAX_REPLY];
    for (Clock::time_point now = Clock::now(); now < deadline; now = Clock::now()) {
        Clock::time_point wake = deadline;
        for (Target& target : targets) {
            if (target.nextPing <= now) {
                const int fd = sockets.For(target.address.ss_family);
                if (fd >= 0) {
                    sendto(fd, request.data(), request.size(), MSG_NOSIGNAL,
                           reinterpret_cast<const sockaddr*>(&target.address), target.length);
                }
                target.nextPing = now + RESEND;
            }
            wake = std::min(wake, target.nextPing);
        }
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(wake - now) + std::chrono::milliseconds(1);
        if (poll(sockets.Polled().data(), sockets.Polled().size(), static_cast<int>(wait.count())) <= 0) {
            continue;
        }
        for (const pollfd& each : sockets.Polled()) {
            sockaddr_storage from{};
            socklen_t fromLength = sizeof from;
            ssize_t size;
            while ((size = recvfrom(each.fd, reply, sizeof reply, MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&from),
                                    &fromLength)) >= 0) {
                // Only an answer from an address asked counts, so a stray
                // datagram cannot name the domain's controller.
                const bool asked = std::any_of(targets.begin(), targets.end(),
                                               [&](const Target& target) { return SameAddress(target.address, from); });
                if (asked && DecodeNetlogonReply(reply, static_cast<std::size_t>(size), messageId, facts)) {
                    return true;
                }
                fromLength = sizeof from;
            }
        }
    }
    return false;
}

}  // namespace

DomainDiscovery DiscoverDomain(const std::string& domain, std::chrono::milliseconds bound)
{
    const Clock::time_point start = Clock::now(), deadline = start + bound;
    const std::string service = ControllersServiceName(domain, "");
    const std::vector<std::string> listed = ListedControllers(service);
    if (listed.empty()) {
        throw std::runtime_error(NoControllerListed(domain));
    }
    std::vector<Target> targets = Addresses(listed, Clock::now());
    if (targets.empty()) {
        throw std::runtime_error("the domain controllers of " + domain + " (" + Joined(listed) +
                                 ") have no address in DNS: check the host's DNS servers (/etc/resolv.conf)");
    }
    NetlogonFacts facts;
    if (!Ping(targets, domain, deadline, facts)) {
        throw std::runtime_error("no domain controller of " + domain + " (" + Joined(listed) +
                                 ") answered a netlogon ping (UDP port 389) within " +
                                 std::to_string(bound.count()) +
                                 " ms: check that they run and that no firewall drops the port");
    }
    DomainDiscovery found{facts.domain, ToUpper(facts.domain), facts.forest, facts.netbiosDomain, facts.clientSite,
                          facts.controller, facts.controllerSite, {}};
    // The host's site's controllers first, as a join would prefer them.
    if (!facts.clientSite.empty() && Clock::now() < deadline) {
        found.controllers = ListedControllers(ControllersServiceName(domain, facts.clientSite));
    }
    for (const std::string& name : listed) {
        if (std::none_of(found.controllers.begin(), found.controllers.end(),
                         [&](const std::string& known) { return EqualsIgnoringCase(known, name); })) {
            found.controllers.push_back(name);
        }
    }
    return found;
}

}  // namespace orvauth_base
