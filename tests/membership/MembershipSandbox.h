// A host in a temporary directory for membership tests: configuration
// store database, hosts file and resolv.conf, a fixed management address,
// the scriptable directory plug-in named in provider.conf, and a scripted
// host name and resolver.
#pragma once

#include "HostResolverSeam.h"
#include "RecordingConfigStore.h"
#include "common/Files.h"
#include "common/SyslogRecorder.h"
#include "plugins/ScriptablePluginLoader.h"

#include <orvane/authentication/ActiveDirectoryStore.h>

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>

namespace membership_test {

constexpr const char* MANAGEMENT_ADDRESS = "192.0.2.10";
constexpr const char* HOSTS_BEFORE = "127.0.0.1\tlocalhost\n# management\n192.0.2.10\told-name old\n";
constexpr const char* RESOLV_CONF_BEFORE = "nameserver 192.0.2.53\nsearch lab.example\n";

// The log as holding exactly one line.
inline std::vector<orvauth_test::LogLine> OneLine(int priority, const std::string& text)
{
    return {orvauth_test::LogLine{priority, text}};
}

class MembershipSandbox : public ::testing::Test {
protected:
    MembershipSandbox();
    ~MembershipSandbox() override;

    std::string HostsPath() const { return dir.File("hosts"); }
    std::string ResolvConfPath() const { return dir.File("resolv.conf"); }
    std::string DatabasePath() const { return dir.File("configstore.db"); }

    // Hosts file and resolv.conf as the sandbox wrote them.
    void ExpectHostFilesUnchanged() const;
    // The hosts file with the management address mapped to name and alias.
    std::string HostsWith(const std::string& name, const std::string& alias) const;

    // Every value of the domain record; empty map when there is none.
    std::map<std::string, std::string> DomainRecord() const;
    void SeedDomainRecord(const std::string& domainName);

    // Puts a recording store in place of the database's own.
    RecordingConfigStore& InstallRecordingStore();

    orvauth_test::TempDir dir;
    orvauth_test::ScriptablePlugin plugin{"scriptable"};
    std::unique_ptr<orvane::authentication::ActiveDirectoryStore> store;

private:
    std::shared_ptr<RecordingConfigStore> recording;
};

}  // namespace membership_test
