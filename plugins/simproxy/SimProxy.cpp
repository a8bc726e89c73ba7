// simproxy: an authentication-proxy client plug-in that simulates JORV
// servers from simproxy.state in the plug-in directory: which servers exist,
// which certificate each presents, the domain they serve, and the machine
// accounts they have created. See docs/plugins.md for the state file.
#include "common/Names.h"
#include "common/StatusError.h"
#include "common/Results.h"
#include "common/StateFile.h"
#include "simproxy/Thumbprint.h"

#include <orvane/authentication/JORVProxyClient.h>

#include <algorithm>
#include <iterator>
#include <memory>
#include <mutex>
#include <random>

using namespace orvauth_plugin;

namespace {

namespace keys {
constexpr const char DOMAIN[] = "domain";
constexpr const char NETBIOS[] = "netbios";
constexpr const char SID[] = "sid";
constexpr const char SERVER[] = "server";
constexpr const char CONTAINER[] = "container";
constexpr const char ACCOUNT[] = "account";
}  // namespace keys

const char* const KNOWN_KEYS[] = {keys::DOMAIN, keys::NETBIOS, keys::SID, keys::SERVER, keys::CONTAINER, keys::ACCOUNT};

// The library unloads the plug-in after every operation, but two operations
// may still overlap in one process; creating an account appends to the file.
std::mutex stateLock;

std::string PluginDirectoryPath() { return PluginDirectory(reinterpret_cast<const void*>(&PluginDirectoryPath)); }

std::string StatePath() { return PluginDirectoryPath() + "/simproxy.state"; }

using Owned = std::unique_ptr<char, void (*)(void*)>;

Owned Own(const std::string& text) { return Owned(CopyString(text), ReleaseResult); }

StateFile LoadState()
{
    StateFile state = StateFile::Read(StatePath());
    for (const std::string& key : state.Keys()) {
        if (std::none_of(std::begin(KNOWN_KEYS), std::end(KNOWN_KEYS), [&](const char* known) { return key == known; })) {
            Fail(ORVAUTH_STATUS_INTERNAL_ERROR);
        }
    }
    for (const std::string& server : state.Values(keys::SERVER)) {
        const std::size_t words = SplitWords(server).size();
        if (words < 1 || words > 2) {
            Fail(ORVAUTH_STATUS_INTERNAL_ERROR);
        }
    }
    return state;
}

// The thumbprint of the certificate the server presents: given as text, or
// computed from a PEM file (a relative path is taken from the plug-in
// directory). Empty when the server presents none that can be read.
std::string PresentedThumbprint(const std::string& certificate)
{
    if (certificate.empty()) {
        return "";
    }
    if (IsThumbprintText(certificate)) {
        return ToUpper(certificate);
    }
    return ThumbprintOfCertificateFile(certificate[0] == '/' ? certificate
                                                             : PluginDirectoryPath() + "/" + certificate);
}

// Finds the server and, when asked to, checks that it presents the trusted
// certificate. Throws 1225 for an unknown server, 0x80090325 for a
// certificate that is not the trusted one.
void ConnectToServer(const StateFile& state, const char* serverAddress, std::int32_t verifyCertificate,
                     const char* thumbprint)
{
    for (const std::string& line : state.Values(keys::SERVER)) {
        const std::vector<std::string> words = SplitWords(line);
        if (words[0] != serverAddress) {
            continue;
        }
        if (verifyCertificate == 1) {
            const std::string presented = PresentedThumbprint(words.size() > 1 ? words[1] : "");
            if (thumbprint == nullptr || presented.empty() || presented != thumbprint) {
                Fail(JORV_PROXY_STATUS_UNTRUSTED_CERTIFICATE);
            }
        }
        return;
    }
    Fail(ORVAUTH_STATUS_CONNECTION_REFUSED);
}

void CheckRequest(const char* serverAddress, std::int32_t verifyCertificate)
{
    if (serverAddress == nullptr || (verifyCertificate != 0 && verifyCertificate != 1)) {
        Fail(ORVAUTH_STATUS_INVALID_PARAMETER);
    }
}

std::string RequireValue(const StateFile& state, const char* key)
{
    const std::string value = state.Value(key);
    if (value.empty()) {
        Fail(ORVAUTH_STATUS_NO_SUCH_DOMAIN);
    }
    return value;
}

// The one-time password the directory client joins with; the simulated
// directory only checks that there is one. Drawn straight into the result
// handed out, so no other copy of it is left in memory.
Owned NewAccountPassword()
{
    static const char ALPHABET[] = "ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz23456789";
    constexpr std::size_t LENGTH = 24;
    std::random_device source;
    std::uniform_int_distribution<std::size_t> pick(0, sizeof ALPHABET - 2);
    Owned password(CopyString(std::string(LENGTH, '-')), WipeAndRelease);
    for (std::size_t i = 0; i < LENGTH; ++i) {
        password.get()[i] = ALPHABET[pick(source)];
    }
    return password;
}

JORVProxyStatus GetDomainInfo(const char* serverAddress, std::int32_t verifyCertificate, const char* thumbprint,
                              char** netbiosName, char** dnsName, char** sid)
{
    return Guarded([&] {
        CheckRequest(serverAddress, verifyCertificate);
        if (netbiosName == nullptr || dnsName == nullptr || sid == nullptr) {
            Fail(ORVAUTH_STATUS_INVALID_PARAMETER);
        }
        std::lock_guard<std::mutex> guard(stateLock);
        const StateFile state = LoadState();
        ConnectToServer(state, serverAddress, verifyCertificate, thumbprint);
        Owned netbios = Own(RequireValue(state, keys::NETBIOS));
        Owned dns = Own(RequireValue(state, keys::DOMAIN));
        Owned identifier = Own(RequireValue(state, keys::SID));
        *netbiosName = netbios.release();
        *dnsName = dns.release();
        *sid = identifier.release();
    });
}

JORVProxyStatus CreateMachineAccount(const char* serverAddress, const char* hostName, const char* computerContainer,
                                     std::int32_t verifyCertificate, const char* thumbprint, char** createdValue1,
                                     char** createdValue2)
{
    return Guarded([&] {
        CheckRequest(serverAddress, verifyCertificate);
        if (createdValue1 == nullptr || createdValue2 == nullptr ||
            (computerContainer != nullptr && !IsStorable(computerContainer))) {
            Fail(ORVAUTH_STATUS_INVALID_PARAMETER);
        }
        const std::string host = hostName == nullptr ? "" : hostName;
        if (host.empty() || !IsStorable(host) || SplitWords(host).size() != 1 || host.front() == '.') {
            Fail(ORVAUTH_STATUS_INVALID_COMPUTER_NAME);
        }
        std::lock_guard<std::mutex> guard(stateLock);
        const StateFile state = LoadState();
        ConnectToServer(state, serverAddress, verifyCertificate, thumbprint);
        const std::string domain = RequireValue(state, keys::DOMAIN);
        const std::string container = computerContainer != nullptr ? computerContainer : state.Value(keys::CONTAINER);
        const std::string dn = MachineAccountDN(host, container, domain);
        Owned first = Own(dn);
        Owned second = NewAccountPassword();
        const std::vector<std::string> accounts = state.Values(keys::ACCOUNT);
        const bool known = std::any_of(accounts.begin(), accounts.end(), [&](const std::string& account) {
            const std::vector<std::string> words = SplitWords(account);
            return !words.empty() && EqualsIgnoringCase(words[0], host);
        });
        if (!known) {
            StateFile::Append(StatePath(), keys::ACCOUNT, host + " " + dn);
        }
        *createdValue1 = first.release();
        *createdValue2 = second.release();
    });
}

// Created value 2 is a password, so every text is wiped before it is freed.
JORVProxyStatus Release(char* text)
{
    WipeAndRelease(text);
    return ORVAUTH_STATUS_SUCCESS;
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) struct JORVProxyClientOperations JORVProxyClientOperations = {
    nullptr,  // entry 0 is not used
    GetDomainInfo,
    CreateMachineAccount,
    Release,
};

}  // extern "C"
