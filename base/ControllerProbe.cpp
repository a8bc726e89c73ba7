#include "base/ControllerProbe.h"

#include <algorithm>
#include <arpa/nameser.h>
#include <cerrno>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <resolv.h>
#include <sys/socket.h>
#include <unistd.h>

namespace orvauth_base {

std::vector<std::string> ListedControllers(const std::string& serviceName)
{
    struct __res_state resolver {};
    if (res_ninit(&resolver) != 0) {
        return {};
    }
    // One try of a second per name server: the name server may be the dead
    // controller itself, and the caller's bound must hold.
    resolver.retrans = 1;
    resolver.retry = 1;
    std::vector<unsigned char> answer(NS_MAXMSG);
    const int length = res_nquery(&resolver, serviceName.c_str(), ns_c_in, ns_t_srv,
                                  answer.data(), static_cast<int>(answer.size()));
    res_nclose(&resolver);
    ns_msg message;
    if (length <= 0 || ns_initparse(answer.data(), length, &message) != 0) {
        return {};
    }
    std::vector<std::pair<unsigned, std::string>> byPriority;
    for (int index = 0; index < ns_msg_count(message, ns_s_an); ++index) {
        ns_rr record;
        char target[NS_MAXDNAME];
        // An SRV record's data: priority, weight, port (two bytes each), target.
        if (ns_parserr(&message, ns_s_an, index, &record) != 0 || ns_rr_type(record) != ns_t_srv ||
            ns_rr_rdlen(record) < 7 ||
            dn_expand(ns_msg_base(message), ns_msg_end(message), ns_rr_rdata(record) + 6, target, sizeof target) < 0) {
            continue;
        }
        byPriority.emplace_back(ns_get16(ns_rr_rdata(record)), target);
    }
    std::stable_sort(byPriority.begin(), byPriority.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::string> names;
    for (const auto& entry : byPriority) {
        names.push_back(entry.second);
    }
    return names;
}

std::string ControllersServiceName(const std::string& domain, const std::string& site)
{
    return "_ldap._tcp." + (site.empty() ? "" : site + "._sites.") + "dc._msdcs." + domain;
}

std::string NoControllerListed(const std::string& domain)
{
    return "no domain controller of " + domain + " is listed in DNS (" + ControllersServiceName(domain, "") +
           "): check that the host's DNS servers (/etc/resolv.conf) answer for the domain";
}

std::string FirstAnswering(const std::vector<std::string>& names, std::chrono::milliseconds bound, const char* port)
{
    std::string answering;
    std::vector<pollfd> sockets;
    std::vector<std::size_t> owner;  // which listed name each socket is for
    for (std::size_t index = 0; index < names.size(); ++index) {
        addrinfo hints{};
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* addresses = nullptr;
        if (getaddrinfo(names[index].c_str(), port, &hints, &addresses) != 0) {
            continue;
        }
        for (addrinfo* address = addresses; address != nullptr; address = address->ai_next) {
            const int fd = socket(address->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            if (fd < 0) {
                continue;
            }
            if (connect(fd, address->ai_addr, address->ai_addrlen) != 0 && errno != EINPROGRESS) {
                close(fd);
                continue;
            }
            sockets.push_back({fd, POLLOUT, 0});
            owner.push_back(index);
        }
        freeaddrinfo(addresses);
    }
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (answering.empty() && !sockets.empty()) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || poll(sockets.data(), sockets.size(), static_cast<int>(left.count())) < 0) {
            break;
        }
        for (std::size_t at = 0; at < sockets.size();) {
            int error = 0;
            socklen_t size = sizeof error;
            if (sockets[at].revents == 0) {
                ++at;
                continue;
            }
            if (getsockopt(sockets[at].fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0) {
                answering = names[owner[at]];
                break;
            }
            close(sockets[at].fd);  // refused: the others may still answer
            sockets.erase(sockets.begin() + static_cast<std::ptrdiff_t>(at));
            owner.erase(owner.begin() + static_cast<std::ptrdiff_t>(at));
        }
    }
    for (const pollfd& each : sockets) {
        close(each.fd);
    }
    return answering;
}

Controllers ProbeControllers(const std::string& domain, std::chrono::milliseconds bound)
{
    Controllers found{ListedControllers(ControllersServiceName(domain, "")), {}};
    found.answering = FirstAnswering(found.listed, bound);
    return found;
}

}  // namespace orvauth_base
