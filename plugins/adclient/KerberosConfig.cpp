#include "adclient/KerberosConfig.h"

#include "base/FileReplacement.h"

#include <cerrno>
#include <cstring>
#include <sstream>
#include <syslog.h>
#include <unistd.h>

namespace adclient {
namespace {

// The block's first line says who wrote it; the second form also owns the
// line break before it, added to a file whose last line had none.
const std::string BEGIN = "# Added by orvauthctl join; orvauthctl leave removes it up to the end line.\n";
const std::string BEGIN_AFTER_BREAK =
    "# Added by orvauthctl join with the line break before; orvauthctl leave removes it up to the end line.\n";
const std::string END = "# End of what orvauthctl join added.\n";
const std::string DEFAULT_KEYTAB = "/etc/krb5.keytab";

// Where a block starts (at a line's start) and ends, or npos.
struct Block {
    std::string::size_type begin = std::string::npos, end = std::string::npos;
    bool afterBreak = false;
};

Block FindBlock(const std::string& text)
{
    Block block;
    for (const std::string* mark : {&BEGIN, &BEGIN_AFTER_BREAK}) {
        for (auto at = text.find(*mark); at != std::string::npos; at = text.find(*mark, at + 1)) {
            const auto end = text.find(END, at);
            if ((at == 0 || text[at - 1] == '\n') && end != std::string::npos && (end == 0 || text[end - 1] == '\n')) {
                block = {at, end + END.size(), mark == &BEGIN_AFTER_BREAK};
                return block;
            }
        }
    }
    return block;
}

std::string Trimmed(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t\r");
    return first == std::string::npos ? "" : text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

std::string ReadConfiguration(const std::string& path)
{
    std::string text;
    const int error = orvauth_base::ReadWholeFile(path, text);
    if (error != 0 && error != ENOENT) {
        throw KerberosConfigError("cannot read " + path + ": " + std::strerror(error));
    }
    return text;
}

}  // namespace

std::string WithoutRealm(const std::string& current)
{
    std::string text = current;
    for (Block block = FindBlock(text); block.begin != std::string::npos; block = FindBlock(text)) {
        const auto begin = block.afterBreak && block.begin > 0 ? block.begin - 1 : block.begin;
        text.erase(begin, block.end - begin);
    }
    return text;
}

std::string WithRealm(const std::string& current, const KerberosRealm& realm)
{
    std::string text = WithoutRealm(current);
    std::ostringstream block;
    block << (text.empty() || text.back() == '\n' ? BEGIN : "\n" + BEGIN_AFTER_BREAK);
    if (realm.sssdIncludes) {
        block << "includedir " << SSSD_KRB5_INCLUDES << "\n";
    }
    block << "[libdefaults]\n\tdefault_realm = " << realm.realm << "\n\tdns_lookup_kdc = true\n\trdns = false\n";
    if (!realm.keytab.empty() && realm.keytab != DEFAULT_KEYTAB) {
        block << "\tdefault_keytab_name = FILE:" << realm.keytab << "\n";
    }
    block << "[domain_realm]\n\t" << realm.domain << " = " << realm.realm << "\n\t." << realm.domain << " = "
          << realm.realm << "\n" << END;
    return text + block.str();
}

std::string AdministratorsDefaultRealm(const std::string& current)
{
    std::istringstream lines(WithoutRealm(current));
    std::string section;
    for (std::string line; std::getline(lines, line);) {
        line = Trimmed(line);
        if (!line.empty() && line.front() == '[') {
            section = line;
            continue;
        }
        const auto equals = line.find('=');
        if (section == "[libdefaults]" && equals != std::string::npos && Trimmed(line.substr(0, equals)) == "default_realm") {
            return Trimmed(line.substr(equals + 1));
        }
    }
    return "";
}

KerberosConfig::KerberosConfig(std::string path) : path(std::move(path)) {}

void KerberosConfig::Configure(const KerberosRealm& realm) const
{
    if (realm.realm.find_first_of(" \t\r\n{}[]=") != std::string::npos || realm.realm.empty() ||
        realm.domain.find_first_of(" \t\r\n{}[]=") != std::string::npos || realm.domain.empty() ||
        realm.keytab.find_first_of("\r\n") != std::string::npos) {
        throw KerberosConfigError("the realm '" + realm.realm + "' cannot be written into " + path);
    }
    const std::string current = ReadConfiguration(path);
    if (const int error = orvauth_base::ReplaceFile(path, WithRealm(current, realm), 0644).error) {
        throw KerberosConfigError("cannot write " + path + ": " + std::strerror(error));
    }
    const std::string ownRealm = AdministratorsDefaultRealm(current);
    if (!ownRealm.empty() && ownRealm != realm.realm) {
        syslog(LOG_WARNING, "adclient: %s names %s as the default realm, which the join leaves as it is: users of %s "
               "give the realm with their name (kinit user@%s), or the administrator changes default_realm",
               path.c_str(), ownRealm.c_str(), realm.realm.c_str(), realm.realm.c_str());
    }
    if (!realm.sssdIncludes) {
        syslog(LOG_WARNING, "adclient: %s does not exist (is sssd-krb5-common installed?): without SSSD's "
               "local-name mapping, sshd refuses the domain users' Kerberos tickets", SSSD_KRB5_INCLUDES);
    }
}

void KerberosConfig::Remove() const
{
    const std::string current = ReadConfiguration(path);
    const std::string text = WithoutRealm(current);
    if (text == current) {
        return;
    }
    if (text.empty()) {
        if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
            throw KerberosConfigError("cannot remove " + path + ": " + std::strerror(errno));
        }
    } else if (const int error = orvauth_base::ReplaceFile(path, text, 0644).error) {
        throw KerberosConfigError("cannot write " + path + ": " + std::strerror(error));
    }
}

}  // namespace adclient
