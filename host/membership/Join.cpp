#include <orvane/host/Membership.h>

#include "base/FileReplacement.h"

#include <orvane/authentication/ActiveDirectoryStore.h>
#include <orvane/host/DnsRegistration.h>
#include <orvane/host/Stores.h>
#include <platform/PlatformSettings.h>

#include <algorithm>
#include <functional>
#include <ostream>
#include <sstream>
#include <vector>

namespace orvane::host {
namespace {

using orvane::authentication::ActiveDirectoryStore;

std::vector<std::string> HostsFileLines()
{
    std::string text;
    orvauth_base::ReadWholeFile(OrvPlatform::Settings::GetHostsFilePath(), text);  // none: no lines
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        lines.push_back(line);
    }
    return lines;
}

// The join maps the host's full name to the management address in the
// hosts file, in place of an entry the address or the name had: the
// operator hears which lines went and came, and why.
void ReportHostsChange(const std::vector<std::string>& before, std::ostream& report)
{
    std::vector<std::string> gone = before, added = HostsFileLines();
    for (auto line = gone.begin(); line != gone.end();) {
        const auto same = std::find(added.begin(), added.end(), *line);
        if (same != added.end()) {
            added.erase(same);
            line = gone.erase(line);
        } else {
            ++line;
        }
    }
    if (gone.empty() && added.empty()) {
        return;
    }
    report << "Hosts file " << OrvPlatform::Settings::GetHostsFilePath()
           << ": the host's full name now resolves to its management address, as Kerberos and the directory "
              "need\n";
    for (const std::string& line : gone) {
        report << "  removed: " << line << '\n';
    }
    for (const std::string& line : added) {
        report << "  added:   " << line << '\n';
    }
}

// The settings go into the directory client's file before the join, which
// reads them, and come out again when it fails: a refused join changes
// nothing. What follows the join acts on a joined host.
void Join(const std::string& domain, JoinChoices& choices, std::ostream& report, const HostFiles& files,
          const std::function<void(ActiveDirectoryStore&)>& join)
{
    std::unique_ptr<ActiveDirectoryStore> store = CreateDirectoryStore();
    choices.settings.Record(report);
    const std::vector<std::string> hostsBefore = HostsFileLines();
    try {
        join(*store);
    } catch (...) {
        if (!choices.settings.Undo()) {
            report << "The join failed and " << JoinSettings::Path()
                   << " could not be put back as it was: check its use_ldaps and description lines\n";
        }
        throw;
    }
    report << "Joined the host to " << domain << ".\n";
    ReportHostsChange(hostsBefore, report);
    try {
        SetIdMapping(files, choices.idMapping, report);
    } catch (const std::exception& e) {
        throw std::runtime_error(std::string("the host joined, but its ID mapping could not be set: ") + e.what() +
                                 "; fix that, then leave and join again");
    }
    if (choices.idMapping == IdMapping::Posix) {
        report << "IDs: the directory's uidNumber and gidNumber. Users and groups without them do not resolve "
                  "on this host; to list the users that lack a uidNumber (with a directory user's Kerberos "
                  "ticket, kinit <user>):\n  "
               << UsersWithoutPosixIdsCommand(JoinedDomain()) << '\n';
    }
    if (choices.activate) {
        store->MakeActive();
        report << "Active store: " << store->GetDisplayName() << '\n';
    }
    if (choices.dnsUpdate) {
        try {
            SetDnsUpdate(files, true, report);
        } catch (const std::exception& e) {
            throw JoinedWithoutDnsRecords(std::string("the host is joined, but its DNS registration failed: ") +
                                          e.what() + "; SSSD tries again when it starts");
        }
    }
}

}  // namespace

void JoinDomain(const std::string& domain, const Credentials& credentials, JoinChoices& choices, std::ostream& report,
                const HostFiles& files)
{
    Join(domain, choices, report, files, [&](ActiveDirectoryStore& store) {
        store.JoinDomain(domain, credentials, choices.skipHostnameCheck);
    });
}

void JoinDomainWithOneTimePassword(const std::string& domain, const char* oneTimePassword, JoinChoices& choices,
                                   std::ostream& report, const HostFiles& files)
{
    Join(domain, choices, report, files, [&](ActiveDirectoryStore& store) {
        store.JoinDomainWithOneTimePassword(domain, oneTimePassword, choices.skipHostnameCheck);
    });
}

}  // namespace orvane::host
