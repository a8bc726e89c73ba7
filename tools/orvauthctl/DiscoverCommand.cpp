// discover: what a join would use, found without credentials by adcli info
// (DNS SRV records _ldap._tcp.dc._msdcs.<domain>, then a connectionless LDAP
// ping of the controllers). Changes nothing on the host. adcli is pointed at
// the first controller that accepts a connection, so that a dead one listed
// first does not hold it up.
#include "Command.h"
#include "base/ControllerProbe.h"

#include <cctype>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <ostream>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace orvauthctl {
namespace {

// With the probe's 2 s, a discover ends within 15 s whatever the controllers do.
constexpr std::chrono::milliseconds PROBE_BOUND{2000};
constexpr std::chrono::seconds DISCOVERY_BOUND{12};

struct ProgramOutput {
    std::string text;  // standard output and error, interleaved
    int exitStatus = -1;
    bool timedOut = false;
};

// Runs argv with no standard input, its output read for at most bound; a
// program still running then is killed, so none outlives the tool.
ProgramOutput RunBounded(const std::vector<std::string>& argv, std::chrono::seconds bound)
{
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0) {
        throw std::runtime_error(std::string("cannot run ") + argv[0] + ": " + std::strerror(errno));
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDERR_FILENO);
    std::vector<char*> words;
    for (const std::string& word : argv) {
        words.push_back(const_cast<char*>(word.c_str()));
    }
    words.push_back(nullptr);
    pid_t child = 0;
    int spawned = posix_spawn(&child, argv[0].c_str(), &actions, nullptr, words.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);
    if (spawned != 0) {
        close(pipeEnds[0]);
        throw std::runtime_error("cannot run " + argv[0] + ": " + std::strerror(spawned));
    }
    ProgramOutput output;
    const auto deadline = std::chrono::steady_clock::now() + bound;
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            output.timedOut = true;
            kill(child, SIGKILL);
            break;
        }
        pollfd ready{pipeEnds[0], POLLIN, 0};
        if (poll(&ready, 1, static_cast<int>(left.count())) < 0 && errno != EINTR) {
            kill(child, SIGKILL);
            break;
        }
        char buffer[4096];
        ssize_t count = read(pipeEnds[0], buffer, sizeof buffer);
        if (count == 0 || (count < 0 && errno != EINTR && errno != EAGAIN)) {
            break;
        }
        if (count > 0) {
            output.text.append(buffer, static_cast<size_t>(count));
        }
    }
    close(pipeEnds[0]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    output.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return output;
}

int Discover(const Invocation& call)
{
    const std::string& domain = call.arguments.operands[0];
    if (domain.empty() || domain[0] == '-' || domain.find_first_of(" \t\n/\\") != std::string::npos) {
        throw UsageError("discover: '" + domain + "' is not a DNS domain name");
    }
    const orvauth_base::Controllers controllers = orvauth_base::ProbeControllers(domain, PROBE_BOUND);
    std::vector<std::string> argv{ORVAUTHCTL_ADCLI, "info"};
    if (!controllers.answering.empty()) {
        argv.push_back("--domain-controller=" + controllers.answering);
    }
    argv.insert(argv.end(), {"--", domain});
    ProgramOutput output = RunBounded(argv, DISCOVERY_BOUND);
    std::map<std::string, std::string> found;
    std::string reason;
    std::istringstream lines(output.text);
    for (std::string line; std::getline(lines, line);) {
        size_t equals = line.find(" = ");
        if (equals != std::string::npos) {
            found.emplace(line.substr(0, equals), line.substr(equals + 3));
        } else if (!line.empty() && line[0] != '[') {
            reason += (reason.empty() ? "" : "; ") + line;
        }
    }
    if (output.timedOut) {
        throw std::runtime_error("no answer about " + domain + " within " + std::to_string(DISCOVERY_BOUND.count()) +
                                 " s: check the host's DNS servers (/etc/resolv.conf)");
    }
    if (output.exitStatus != 0 || found.count("domain-name") == 0) {
        throw std::runtime_error("no domain controller of " + domain + " was found (" +
                                 (reason.empty() ? "adcli info failed" : reason) +
                                 "): check that the host's DNS servers (/etc/resolv.conf) answer for the domain");
    }
    std::string realm = found["domain-realm"];
    if (realm.empty()) {  // a domain's realm is its DNS name in capitals
        for (char c : found["domain-name"]) {
            realm += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
    }
    auto row = [&](const char* label, const std::string& value) {
        call.out << label << std::string(26 - std::strlen(label), ' ') << (value.empty() ? "(none)" : value) << '\n';
    };
    row("Domain:", found["domain-name"]);
    row("Realm:", realm);
    row("NetBIOS name:", found["domain-short"]);
    row("Forest:", found["domain-forest"]);
    std::string listed = found["domain-controllers"];  // adcli lists them only when it looked them up itself
    for (const std::string& name : listed.empty() ? controllers.listed : std::vector<std::string>{}) {
        listed += (listed.empty() ? "" : " ") + name;
    }
    row("Domain controllers:", listed);
    row("Answering controller:", found["domain-controller"]);
    row("Its site:", found["domain-controller-site"]);
    row("This host's site:", found["computer-site"]);
    return EXIT_OK;
}

}  // namespace

std::vector<Command> DiscoverCommands()
{
    return {
        {"discover", "<domain>", "show the domain controllers, site and names a join would use",
         "Finds the domain controllers of <domain> through the DNS SRV records\n"
         "_ldap._tcp.dc._msdcs.<domain> and asks one of them, without credentials, for the\n"
         "domain's NetBIOS name, realm, forest and sites (adcli info). Changes nothing; gives up\n"
         "after 15 seconds.",
         {}, 1, 1, Discover},
    };
}

}  // namespace orvauthctl
