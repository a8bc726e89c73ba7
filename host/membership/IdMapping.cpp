#include <orvane/host/IdMapping.h>

#include "logins/LoginBackend.h"
#include "logins/LoginSettingsFile.h"
#include "base/OrganizationalUnit.h"

#include <orvane/host/Stores.h>

#include <cerrno>
#include <cstring>
#include <ostream>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace orvane::host {
namespace {

const char* const FILE_NAME = "orvauth-id-mapping.conf";
const char* const HEADER =
    "# Written by orvauthctl (join --id-mapping posix): users and groups take uidNumber and\n"
    "# gidNumber from the directory. Leave, or a join with --id-mapping sid, removes this file.\n";

std::string SettingsPath(const HostFiles& files) { return SssdSnippetDirectory(files.sssdConf) + "/" + FILE_NAME; }

}  // namespace

const char* IdMappingName(IdMapping mapping) { return mapping == IdMapping::Posix ? "posix" : "sid"; }

bool ParseIdMapping(const std::string& word, IdMapping& mapping)
{
    if (word != "sid" && word != "posix") {
        return false;
    }
    mapping = word == "posix" ? IdMapping::Posix : IdMapping::Sid;
    return true;
}

std::string IdMappingSettings(const std::string& domain, IdMapping mapping)
{
    return mapping == IdMapping::Sid ? "" : std::string(HEADER) + "[domain/" + domain + "]\nldap_id_mapping = False\n";
}

IdMapping GetIdMapping(const HostFiles& files)
{
    const std::string path = SettingsPath(files);
    if (::access(path.c_str(), F_OK) != 0 && errno == ENOENT) {
        return IdMapping::Sid;
    }
    const std::string text = ReadLoginFile(path);
    const size_t start = text.find("[domain/") + 8, end = text.find("]\n", start);
    if (start < 8 || end == std::string::npos || text != IdMappingSettings(text.substr(start, end - start), IdMapping::Posix)) {
        throw std::runtime_error(path + " was not written by orvauthctl: remove it, then join again with the "
                                        "--id-mapping you want");
    }
    return IdMapping::Posix;
}

void SetIdMapping(const HostFiles& files, IdMapping mapping, std::ostream& report)
{
    const std::string domain = JoinedDomain();
    if (domain.empty()) {
        throw std::runtime_error("this host is not joined to a domain: the ID mapping is chosen when it joins");
    }
    if (mapping == IdMapping::Sid) {
        ForgetIdMapping(files, report);
        return;
    }
    const std::string directory = SssdSnippetDirectory(files.sssdConf);
    if (::mkdir(directory.c_str(), 0711) != 0 && errno != EEXIST) {
        throw std::runtime_error("cannot create " + directory + ": " + std::strerror(errno));
    }
    ReplaceLoginFile(SettingsPath(files), IdMappingSettings(domain, mapping));
    RestartSssd(SettingsPath(files) + " written (IDs from the directory's uidNumber and gidNumber)", report);
}

void ForgetIdMapping(const HostFiles& files, std::ostream& report)
{
    const std::string path = SettingsPath(files);
    if (::unlink(path.c_str()) == 0) {
        RestartSssd(path + " removed (IDs mapped from SIDs)", report);
    } else if (errno != ENOENT) {
        throw std::runtime_error("cannot remove " + path + ": " + std::strerror(errno));
    }
}

std::string UsersWithoutPosixIdsCommand(const std::string& domain)
{
    return "ldapsearch -LLL -Y GSSAPI -H ldap://" + domain + " -b " + orvauth_base::DomainComponents(domain) +
           " '(&(objectCategory=person)(objectClass=user)(!(uidNumber=*)))' sAMAccountName";
}

}  // namespace orvane::host
