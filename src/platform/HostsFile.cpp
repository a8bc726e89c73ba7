#include "AtomicFile.h"
#include "TextLines.h"

#include <platform/Ipv4Address.h>
#include <platform/PlatformSettings.h>
#include <platform/ZodCtl.h>

#include <arpa/inet.h>
#include <cstring>

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

    std::string text;
    ReadTextFile(path, text);
    std::vector<std::string> lines;
    bool placed = false;
    for (std::string& line : SplitLines(text)) {
        std::vector<std::string> words = Words(line, "#");
        if (words.empty() || !SameAddress(words[0], address)) {
            lines.push_back(std::move(line));
        } else if (!placed) {
            lines.push_back(entry);
            placed = true;
        }
    }
    if (!placed) {
        lines.push_back(entry);
    }
    ReplaceFile(path, JoinLines(lines), 0644);
}

}  // namespace Network
}  // namespace ZodCtl
