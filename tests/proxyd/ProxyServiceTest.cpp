// The proxy service and its client plug-in, both real, talking over loopback
// with certificates made by openssl. The service's directory is a loopback
// listener that only counts connections: every request that got as far as
// the directory shows there, and the service answers it "no such domain".
#include "BuildPaths.h"
#include "common/Files.h"

#include <orvane/authentication/Exceptions.h>
#include <orvane/authentication/JORVProxy.h>

#include <gtest/gtest.h>
#include <httplib.h>
#include <nlohmann/json.hpp>

#include <arpa/inet.h>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace orvane::authentication;
using orvauth_test::ReadFile;
using orvauth_test::WriteFile;

namespace {

int Listener(const char* address, int port, int backlog)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_port = htons(static_cast<uint16_t>(port));
    inet_pton(AF_INET, address, &where.sin_addr);
    if (bind(fd, reinterpret_cast<sockaddr*>(&where), sizeof where) != 0 || listen(fd, backlog) != 0) {
        throw std::runtime_error("cannot listen on loopback");
    }
    return fd;
}

int BoundPort(int fd)
{
    sockaddr_in where{};
    socklen_t length = sizeof where;
    getsockname(fd, reinterpret_cast<sockaddr*>(&where), &length);
    return ntohs(where.sin_port);
}

int FreePort()
{
    const int fd = Listener("127.0.0.1", 0, 1);
    const int port = BoundPort(fd);
    close(fd);
    return port;
}

void Connect(const char* address, int port)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_port = htons(static_cast<uint16_t>(port));
    inet_pton(AF_INET, address, &where.sin_addr);
    connect(fd, reinterpret_cast<sockaddr*>(&where), sizeof where);  // left open and unanswered
}

std::string Thumbprint(const std::string& pem)
{
    std::unique_ptr<FILE, int (*)(FILE*)> out(
        popen(("openssl x509 -noout -fingerprint -sha1 -in " + pem + " | cut -d= -f2").c_str(), "r"), pclose);
    char line[128] = {};
    return fgets(line, sizeof line, out.get()) != nullptr ? std::string(line, strcspn(line, "\n")) : "";
}

struct Service {
    pid_t pid = -1;
    std::string log;
    // The exit status once it has ended within ten seconds, -1 otherwise.
    int Wait()
    {
        for (int i = 0; i < 1000; ++i, usleep(10000)) {
            int status = 0;
            if (waitpid(pid, &status, WNOHANG) == pid) {
                pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
        }
        return -1;
    }
    int Count(const std::string& text) const
    {
        const std::string all = orvauth_test::FileExists(log) ? ReadFile(log) : "";
        int count = 0;
        for (auto at = all.find(text); at != std::string::npos; at = all.find(text, at + 1)) {
            ++count;
        }
        return count;
    }
};

class ProxyService : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir = new orvauth_test::TempDir();
        const std::string make = "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=proxy 2>/dev/null";
        ASSERT_EQ(0, system((make + " -keyout " + File("server.key") + " -out " + File("server.pem")).c_str()));
        ASSERT_EQ(0, system((make + " -keyout " + File("other.key") + " -out " + File("other.pem")).c_str()));
        chmod(File("server.key").c_str(), 0600);
        WriteFile(File("credentials"), "user = joiner@corp.example.test\npassword = not used: no directory\n");
        chmod(File("credentials").c_str(), 0600);
        directory = Listener("127.0.0.1", 0, 64);
        counter = std::thread([] {
            for (pollfd wait{directory, POLLIN, 0}; !stopping; wait.revents = 0) {
                if (poll(&wait, 1, 50) == 1) {
                    close(accept(directory, nullptr, nullptr));
                    ++directoryConnections;
                }
            }
        });
        port = FreePort();
        WriteFile(std::string(ORVAUTH_PLUGIN_DIR) + "/adproxy.conf", "port = " + std::to_string(port) + "\n");
        WriteFile(File("proxyd.conf"), Configuration(""));
        service = new Service(Start(File("proxyd.conf")));
        httplib::SSLClient probe("127.0.0.1", port);
        probe.enable_server_certificate_verification(false);
        for (int i = 0; i < 500 && !probe.Get("/"); ++i) {
            usleep(10000);
        }
    }
    static void TearDownTestSuite()
    {
        kill(service->pid, SIGTERM);
        EXPECT_EQ(0, service->Wait()) << ReadFile(service->log);
        stopping = true;
        counter.join();
        close(directory);
        std::remove((std::string(ORVAUTH_PLUGIN_DIR) + "/adproxy.conf").c_str());
        delete service;
        delete dir;
    }

    static std::string File(const std::string& name) { return dir->File(name); }
    static std::string Configuration(const std::string& extra)
    {
        return "listen_address = \"127.0.0.1\"\nlisten_port = \"" + std::to_string(port) + "\"\n" +
               "certificate = \"" + File("server.pem") + "\"\nprivate_key = \"" + File("server.key") + "\"\n" +
               "credentials = \"" + File("credentials") + "\"\ndirectory_ca_file = \"" + File("server.pem") +
               "\"\ndirectory_uri = \"ldaps://127.0.0.1:" + std::to_string(BoundPort(directory)) + "\"\n" + extra;
    }
    static Service Start(const std::string& configuration)
    {
        Service started;
        started.log = configuration + ".log";
        started.pid = fork();
        if (started.pid == 0) {
            const int fd = open(started.log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            dup2(fd, 2);
            execl(ORVAUTH_PROXYD_PATH, "orvauth-proxyd", "--config", configuration.c_str(), "--stderr", nullptr);
            _exit(127);
        }
        return started;
    }

    static orvauth_test::TempDir* dir;
    static Service* service;
    static int port;
    static int directory;
    static std::thread counter;
    static std::atomic<bool> stopping;
    static std::atomic<int> directoryConnections;
};

orvauth_test::TempDir* ProxyService::dir;
Service* ProxyService::service;
int ProxyService::port;
int ProxyService::directory;
std::thread ProxyService::counter;
std::atomic<bool> ProxyService::stopping{false};
std::atomic<int> ProxyService::directoryConnections{0};

// The code of the exception the proxy's domain query ends in.
template <typename Expected>
unsigned long DomainQueryFails(const JORVProxy& proxy)
{
    try {
        proxy.GetDNSDomainName();
    } catch (const Expected& error) {
        return error.Code();
    }
    return ~0ul;
}

TEST_F(ProxyService, RequestIsSentOnlyToTheCertificatePinnedByThumbprint)
{
    struct Case {
        bool verify;
        std::string thumbprint;
        bool reaches;
    } cases[] = {
        {true, Thumbprint(File("server.pem")), true},
        {true, Thumbprint(File("other.pem")), false},
        {true, "", false},
        {false, Thumbprint(File("other.pem")), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "verify " << c.verify << " thumbprint " << c.thumbprint);
        const int before = service->Count("domain information for 127.0.0.1");
        JORVProxy proxy("adproxy", "127.0.0.1", c.verify, c.thumbprint);
        if (c.reaches) {
            EXPECT_EQ(1355u, DomainQueryFails<UnknownException>(proxy));
        } else {
            EXPECT_EQ(0u, DomainQueryFails<InvalidJORVCertificateException>(proxy));
        }
        EXPECT_EQ(before + (c.reaches ? 1 : 0), service->Count("domain information for 127.0.0.1"));
    }
}

TEST_F(ProxyService, UnreachableServiceIsRefusedOrTimedOut)
{
    const int blackhole = Listener("127.0.0.3", port, 0);  // its queue full: new connections go unanswered
    Connect("127.0.0.3", port);
    Connect("127.0.0.3", port);
    const int silent = Listener("127.0.0.4", port, 8);  // connects, never speaks TLS
    EXPECT_EQ(1225u, DomainQueryFails<ConnectionRefusedException>(JORVProxy("adproxy", "127.0.0.2", false, "")));
    EXPECT_EQ(10060u, DomainQueryFails<WSATimedOutException>(JORVProxy("adproxy", "127.0.0.3", false, "")));
    EXPECT_EQ(10060u, DomainQueryFails<WSATimedOutException>(JORVProxy("adproxy", "127.0.0.4", false, "")));
    close(blackhole);
    close(silent);
}

TEST_F(ProxyService, MalformedRequestsAreRefusedWithoutTouchingTheDirectory)
{
    const std::string path = "/v1/machine-account";
    const std::pair<std::string, std::string> requests[] = {
        {path, "not json"}, {path, "[]"}, {path, "{}"}, {path, R"({"hostName": 7})"},
        {path, R"({"hostName": "node01", "extra": 1})"}, {path, R"({"hostName": ""})"},
        {path, R"({"hostName": "-node01.corp.example.test"})"}, {path, R"({"hostName": "node01..corp"})"},
        {path, R"({"hostName": "node_01"})"}, {path, R"({"hostName": "1234"})"},
        {path, R"({"hostName": "sixteen-chars-xx.corp"})"}, {path, R"({"hostName": "node 01"})"},
        {path, "{\"hostName\": \"" + std::string(254, 'a') + "\"}"},
        {path, R"({"hostName": "node01", "container": "Servers/Hypervisors"})"},
        {path, R"({"hostName": "node01", "container": ""})"},
        {path, R"({"hostName": "node01", "container": "OU=a+CN=b"})"},
        {path, R"({"hostName": "node01", "container": "X=1,DC=corp"})"},
        {path, R"({"hostName": "node01", "container": 5})"},
        {path, "{\"hostName\": \"node01\", \"pad\": \"" + std::string(5000, 'x') + "\"}"},
        {"/v1/domain-information", "null"}, {"/v1/unknown", "{}"},
    };
    const int reachedBefore = directoryConnections;
    httplib::SSLClient client("127.0.0.1", port);
    client.enable_server_certificate_verification(false);
    int refused = 0;
    for (int round = 0; round < 15; ++round) {
        for (const auto& request : requests) {
            const auto answer = client.Post(request.first.c_str(), request.second, "application/json");
            ASSERT_TRUE(answer) << request.second;
            const auto body = nlohmann::json::parse(answer->body, nullptr, false);
            const bool clear = answer->status >= 400 && answer->status < 500 && body.is_object() &&
                               (body["status"] == 87 || body["status"] == 1210);
            refused += clear ? 1 : 0;
            EXPECT_TRUE(clear) << request.second << " answered " << answer->status << " " << answer->body;
        }
    }
    EXPECT_EQ(15 * static_cast<int>(std::size(requests)), refused);
    EXPECT_EQ(reachedBefore, directoryConnections.load());
    EXPECT_EQ(0, kill(service->pid, 0));
    // The plug-in passes the service's refusals on; a sound request does reach
    // the directory.
    JORVProxy proxy("adproxy", "127.0.0.1", true, Thumbprint(File("server.pem")));
    const auto code = [&](const char* host, const char* container) {
        try {
            proxy.CreateMachineAccount(host, container);
        } catch (const Exception& error) {
            return error.Code();
        }
        return 0ul;
    };
    EXPECT_EQ(1210u, code("node_01.corp.example.test", ""));
    EXPECT_EQ(87u, code("node01.corp.example.test", "Servers/Hypervisors"));
    EXPECT_EQ(reachedBefore, directoryConnections.load());
    EXPECT_EQ(1355u, code("node01.corp.example.test", "OU=Hypervisors"));
    EXPECT_LT(reachedBefore, directoryConnections.load());
}

TEST_F(ProxyService, RefusesToStartWithExposedKeysOrUnknownSettingsAndEndsOnSigterm)
{
    WriteFile(File("exposed.key"), ReadFile(File("server.key")));
    chmod(File("exposed.key").c_str(), 0640);
    WriteFile(File("not-a.key"), ReadFile(File("server.pem")));
    chmod(File("not-a.key").c_str(), 0600);
    const std::pair<std::string, std::string> refusals[] = {
        {"private_key = \"" + File("exposed.key") + "\"\n", "exposed.key: must be a regular file of mode 0600"},
        {"credentials = \"" + File("server.pem") + "\"\n", "server.pem: must be a regular file of mode 0600"},
        {"listen_adress = \"127.0.0.1\"\n", "unknown key \"listen_adress\""},
        {"private_key = \"" + File("not-a.key") + "\"\n", "no unencrypted PEM private key"},
    };
    for (const auto& refusal : refusals) {
        std::string text = Configuration("");
        const std::string key = refusal.first.substr(0, refusal.first.find(' '));
        if (text.find(key + " =") != std::string::npos) {
            text.erase(text.find(key + " ="), text.find('\n', text.find(key + " =")) - text.find(key + " =") + 1);
        }
        WriteFile(File("refused.conf"), text + refusal.first);
        Service refused = Start(File("refused.conf"));
        EXPECT_EQ(1, refused.Wait()) << refusal.first;
        EXPECT_EQ(1, refused.Count(refusal.second)) << ReadFile(refused.log);
    }
    WriteFile(File("second.conf"), Configuration(""));
    Service second = Start(File("second.conf"));
    for (int i = 0; i < 500 && second.Count("listening") == 0; ++i) {
        usleep(10000);
    }
    kill(second.pid, SIGTERM);
    EXPECT_EQ(0, second.Wait());
    EXPECT_EQ(1, second.Count("stopped"));
}

}  // namespace
