#include "AtomicFile.h"
#include "TextLines.h"

#include <platform/Ipv4Address.h>
#include <platform/PlatformSettings.h>
#include <platform/ZodCtl.h>

#include <algorithm>
#include <arpa/inet.h>
#include <cstring>
#include <strings.h>

namespace ZodCtl {
namespace Network {

namespace {

using namespace OrvPlatform::Detail;

// Addresses compare by value, so "::1" and "0:0::1" name the same entry.
bool SameAddress(const std::string& a, const std::string& b)
{
    unsigned char first[16], second[16];
    for (int family : {AF_INET, AF_INET6}) {
        if (inet_pton(family, a.c_str(), first) == 1) {
            return inet_pton(family, b.c_str(), second) == 1 &&
                   std::memcmp(first, second, family == AF_INET ? 4 : 16) == 0;
        }
    }
    return a == b;
}

bool IsAddress(const std::string& text)
{
    unsigned char ignored[16];
    return NodeCtl::Network::Ipv4Address::IsValidAddress(text) || inet_pton(AF_INET6, text.c_str(), ignored) == 1;
}

}  // namespace

HostsFile::HostsFile() : path(OrvPlatform::Settings::GetHostsFilePath()) {}

HostsFile::HostsFile(const std::string& path) : path(path) {}

void HostsFile::AddOrReplaceEntry(const std::string& address, const std::string& name,
                                  const std::vector<std::string>& aliases)
{
    if (!IsAddress(address)) {
        throw NetworkConfigException("Hosts file '" + path + "': invalid address '" + address + "'");
    }
    if (!IsPlainWord(name)) {
        throw NetworkConfigException("Hosts file '" + path + "': invalid host name '" + name + "'");
    }
    for (const std::string& alias : aliases) {
        if (!IsPlainWord(alias)) {
            throw NetworkConfigException("Hosts file '" + path + "': invalid alias '" + alias + "'");
        }
    }

    std::string entry = address + "\t" + name;
    for (const std::string& word : aliases) {
        entry += " " + word;
    }

    // The host's names must lead to this address alone, so they leave the
    // lines of other addresses (a line left without names goes). Of this
    // address's lines, the one naming the host (or else the first) is
    // replaced in place of the first; lines giving it other names stay.
    std::vector<std::string> hostNames = aliases;
    hostNames.push_back(name);
    auto isHostName = [&hostNames](const std::string& word) {
        for (const std::string& hostName : hostNames) {
            if (strcasecmp(word.c_str(), hostName.c_str()) == 0) {
                return true;
            }
        }
        return false;
    };
    std::string text;
    ReadTextFile(path, text);
    std::vector<std::string> original = SplitLines(text);
    size_t first = original.size(), own = original.size();
    for (size_t i = 0; i < original.size(); ++i) {
        std::vector<std::string> words = Words(original[i], "#");
        if (!words.empty() && SameAddress(words[0], address)) {
            first = std::min(first, i);
            if (own == original.size() && std::any_of(words.begin() + 1, words.end(), isHostName)) {
                own = i;
            }
        }
    }
    if (own == original.size()) {
        // No line names the host: the first line of the address becomes the
        // host's, and the names it gave the address (a service alias, say)
        // stay on it after the host's own.
        own = first;
        const std::vector<std::string> words = own < original.size() ? Words(original[own], "#") : std::vector<std::string>();
        for (size_t w = 1; w < words.size(); ++w) {
            entry += " " + words[w];
        }
    }
    std::vector<std::string> lines;
    for (size_t i = 0; i < original.size(); ++i) {
        if (i == first) {
            lines.push_back(entry);
        }
        std::vector<std::string> words = Words(original[i], "#");
        if (i == own) {
            continue;
        }
        if (words.size() < 2 || !IsAddress(words[0]) || std::none_of(words.begin() + 1, words.end(), isHostName)) {
            lines.push_back(std::move(original[i]));
            continue;
        }
        std::string kept = words[0] + "\t";
        size_t names = 0;
        for (size_t w = 1; w < words.size(); ++w) {
            if (!isHostName(words[w])) {
                kept += (names++ ? " " : "") + words[w];
            }
        }
        size_t comment = original[i].find('#');
        if (names > 0) {
            lines.push_back(comment == std::string::npos ? kept : kept + " " + original[i].substr(comment));
        }
    }
    if (first == original.size()) {
        lines.push_back(entry);
    }
    ReplaceFile(path, JoinLines(lines), 0644);
}

}  // namespace Network
}  // namespace ZodCtl
