#include "AtomicFile.h"
#include "TextLines.h"

#include <platform/PlatformSettings.h>
#include <platform/ZodCtl.h>

#include <algorithm>
#include <strings.h>

namespace ZodCtl {
namespace Network {

namespace {

using namespace OrvPlatform::Detail;

const char* const NETWORK_STACK = "defaultTcpipStack";

// The resolver lets the last "search" or "domain" line win, so that line
// alone holds the search list.
struct ResolvConf {
    std::vector<std::string> lines;
    std::vector<std::string> searchDomains;
    long effectiveLine = -1;
};

ResolvConf Parse(const std::string& text)
{
    ResolvConf conf;
    conf.lines = SplitLines(text);
    for (size_t i = 0; i < conf.lines.size(); ++i) {
        const std::string& line = conf.lines[i];
        if (!line.empty() && (line[0] == '#' || line[0] == ';')) {
            continue;
        }
        std::vector<std::string> words = Words(line, "");
        if (words.empty() || (words[0] != "search" && words[0] != "domain")) {
            continue;
        }
        conf.effectiveLine = static_cast<long>(i);
        conf.searchDomains.assign(words.begin() + 1, words[0] == "domain" && words.size() > 2 ? words.begin() + 2
                                                                                              : words.end());
    }
    return conf;
}

bool Contains(const std::vector<std::string>& domains, const std::string& domain)
{
    return std::any_of(domains.begin(), domains.end(),
                       [&](const std::string& known) { return strcasecmp(known.c_str(), domain.c_str()) == 0; });
}

std::string ReadResolvConf(const std::string& path)
{
    std::string text;
    ReadTextFile(path, text);
    return text;
}

}  // namespace

DnsConfigImpl::DnsConfigImpl(const std::string& netStack) : path(OrvPlatform::Settings::GetResolvConfPath())
{
    if (netStack != NETWORK_STACK) {
        throw NetworkConfigException("Unknown network stack '" + netStack + "'");
    }
    searchDomains = Parse(ReadResolvConf(path)).searchDomains;
}

void DnsConfigImpl::AddSearchDomain(const std::string& domain)
{
    if (!IsPlainWord(domain) || domain.size() > 253) {
        throw NetworkConfigException("Invalid DNS search domain '" + domain + "'");
    }
    if (!Contains(searchDomains, domain)) {
        searchDomains.push_back(domain);
    }
    if (!Contains(added, domain)) {
        added.push_back(domain);
    }
}

void DnsConfigImpl::SaveConfig()
{
    // Another writer may have changed the file since it was read; only the
    // domains added here are laid over its current text.
    ResolvConf conf = Parse(ReadResolvConf(path));
    std::vector<std::string> domains = conf.searchDomains;
    for (const std::string& domain : added) {
        if (!Contains(domains, domain)) {
            domains.push_back(domain);
        }
    }
    if (domains.size() != conf.searchDomains.size()) {
        std::string search = "search";
        for (const std::string& domain : domains) {
            search += " " + domain;
        }
        std::vector<std::string> lines;
        for (size_t i = 0; i < conf.lines.size(); ++i) {
            std::vector<std::string> words = Words(conf.lines[i], "#;");
            bool isSearch = !words.empty() && words[0] == "search";
            if (!isSearch) {
                lines.push_back(conf.lines[i]);
            }
            if (static_cast<long>(i) == conf.effectiveLine) {
                lines.push_back(search);
            }
        }
        if (conf.effectiveLine < 0) {
            lines.push_back(search);
        }
        ReplaceFile(path, JoinLines(lines), 0644);
    }
    searchDomains = domains;
}

}  // namespace Network
}  // namespace ZodCtl
