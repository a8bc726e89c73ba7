// The domain the simdirectory plug-in pretends to be a member of, read from
// and written back to simdirectory.state. Callers hold the plug-in's state
// lock from Load to Save.
#pragma once

#include "common/StateFile.h"

#include <orvane/authentication/ActiveDirectoryClient.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace orvauth_plugin {

// A domain the host can see: its own or one it trusts.
struct KnownDomain {
    std::string dnsName;
    std::string netbiosName;
    bool own = false;
    std::uint32_t relationship = 0;  // what GetDomainTrustRelationship answers
};

// Relationship values: the joined domain itself, and the default for a
// trusted domain whose line names none.
constexpr std::uint32_t RELATIONSHIP_OWN_DOMAIN = 1;
constexpr std::uint32_t RELATIONSHIP_TRUSTED_DOMAIN = 2;

class SimulatedDomain {
public:
    // Reads the state file. Throws StatusError 1359 for an unreadable file,
    // an unknown key or a malformed value.
    static SimulatedDomain Load(const std::string& path);
    // Writes the state back atomically.
    void Save() const;

    const std::string& DnsName() const { return dnsName; }
    bool IsJoined() const;

    // The own domain (by DNS or NetBIOS name, any case) or a trusted one
    // (only while joined). Returns false for anything else.
    bool Find(const std::string& name, KnownDomain& found) const;
    bool IsOwnDomain(const std::string& name) const;

    // Throws StatusError 1317 for an unknown account, 1326 for a wrong
    // password. "user", "NETBIOS\user" and "user@dns.name" name the same
    // account.
    void CheckCredentials(const Credentials& credentials) const;

    // Records the membership and the host's machine account.
    void RecordJoin(const std::string& hostName, const std::string& organizationalUnit,
                    const std::string& machineAccountDN);
    // Forgets the membership; with deleteAccount the machine account goes
    // too, as a leave with an administrator's credentials does.
    void RecordLeave(bool deleteAccount);

    // The joined domain's names; NetBIOS empty when not known.
    std::pair<std::string, std::string> ActiveDomain() const;
    std::string MachineAccountDN() const;
    std::string JoinedHost() const;
    std::vector<std::pair<std::string, std::string>> TrustedDomains() const;
    TrustState GetTrustState() const;

    // Controllers of the domain: preferred ones first for the own domain,
    // then those listed under controller whose name lies in the domain.
    std::vector<std::string> ControllersOf(const KnownDomain& domain) const;

    std::vector<std::string> List(const std::string& key) const { return state.Values(key); }
    void ReplaceList(const std::string& key, const std::vector<std::string>& values) { state.Replace(key, values); }

private:
    std::string path;
    StateFile state;
    std::string dnsName;
    std::string netbiosName;
};

// The state file's keys.
namespace keys {
constexpr const char DOMAIN[] = "domain";
constexpr const char NETBIOS[] = "netbios";
constexpr const char SID[] = "sid";
constexpr const char USER[] = "user";
constexpr const char CONTROLLER[] = "controller";
constexpr const char PREFERRED_CONTROLLER[] = "preferred_controller";
constexpr const char TRUSTED_DOMAIN[] = "trusted_domain";
constexpr const char TRUST_STATE[] = "trust_state";
constexpr const char MACHINE_ACCOUNT[] = "machine_account";
constexpr const char SMARTCARD_SERVICE[] = "smartcard_service";
constexpr const char JOINED_DOMAIN[] = "joined_domain";
constexpr const char JOINED_OU[] = "joined_ou";
constexpr const char JOINED_HOST[] = "joined_host";
constexpr const char MACHINE_ACCOUNT_DN[] = "machine_account_dn";
}  // namespace keys

}  // namespace orvauth_plugin
