#include "Directory.h"

#include "AccessPolicy.h"

#include "base/AsciiText.h"
#include "base/LdapText.h"
#include "base/ProxyProtocol.h"

#include <ldap.h>
#include <openssl/rand.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <strings.h>

namespace orvauth_proxyd {

using namespace orvauth_proxy;
using namespace orvauth_base;

namespace {

constexpr int NETWORK_TIMEOUT_SECONDS = 5;
constexpr int OPERATION_TIMEOUT_SECONDS = 10;
constexpr std::size_t KEPT_CONNECTIONS = 4;
constexpr std::chrono::seconds DESCRIPTION_KEPT{60};

[[noreturn]] void Failed(int code, const std::string& what)
{
    throw RequestFailure(StatusOfLdapResult(code), what + ": " + ldap_err2string(code));
}

void Check(int code, const char* what)
{
    if (code != LDAP_SUCCESS) {
        Failed(code, what);
    }
}

using Connection = std::unique_ptr<LDAP, void (*)(LDAP*)>;
using Messages = std::unique_ptr<LDAPMessage, int (*)(LDAPMessage*)>;

void Unbind(LDAP* handle) { ldap_unbind_ext_s(handle, nullptr, nullptr); }

Connection Connect(const std::string& uri, const std::string& caFile, const DirectoryCredentials& credentials)
{
    LDAP* raw = nullptr;
    Check(ldap_initialize(&raw, uri.c_str()), "directory address");
    Connection connection(raw, Unbind);
    const int version = LDAP_VERSION3;
    const int demand = LDAP_OPT_X_TLS_DEMAND;
    const int tls12 = LDAP_OPT_X_TLS_PROTOCOL_TLS1_2;
    const int newContext = 0;
    struct timeval network {NETWORK_TIMEOUT_SECONDS, 0};
    struct timeval operation {OPERATION_TIMEOUT_SECONDS, 0};
    Check(ldap_set_option(raw, LDAP_OPT_PROTOCOL_VERSION, &version), "LDAP version");
    Check(ldap_set_option(raw, LDAP_OPT_REFERRALS, LDAP_OPT_OFF), "referrals");
    Check(ldap_set_option(raw, LDAP_OPT_NETWORK_TIMEOUT, &network), "network time-out");
    Check(ldap_set_option(raw, LDAP_OPT_TIMEOUT, &operation), "operation time-out");
    Check(ldap_set_option(raw, LDAP_OPT_X_TLS_CACERTFILE, caFile.c_str()), "directory CA");
    Check(ldap_set_option(raw, LDAP_OPT_X_TLS_REQUIRE_CERT, &demand), "certificate check");
    Check(ldap_set_option(raw, LDAP_OPT_X_TLS_PROTOCOL_MIN, &tls12), "TLS version");
    Check(ldap_set_option(raw, LDAP_OPT_X_TLS_NEWCTX, &newContext), "TLS context");
    if (uri.rfind("ldap://", 0) == 0) {
        Check(ldap_start_tls_s(raw, nullptr, nullptr), "StartTLS");
    }
    struct berval secret {static_cast<ber_len_t>(credentials.password.size()),
                          const_cast<char*>(credentials.password.data())};
    Check(ldap_sasl_bind_s(raw, credentials.user.c_str(), LDAP_SASL_SIMPLE, &secret, nullptr, nullptr, nullptr),
          "bind");
    return connection;
}

Messages Search(LDAP* handle, const std::string& base, int scope, const std::string& filter,
                std::initializer_list<const char*> attributes, const char* what, LDAPControl** controls = nullptr)
{
    std::vector<char*> names;
    for (const char* name : attributes) {
        names.push_back(const_cast<char*>(name));
    }
    names.push_back(nullptr);
    struct timeval limit {OPERATION_TIMEOUT_SECONDS, 0};
    LDAPMessage* raw = nullptr;
    const int code = ldap_search_ext_s(handle, base.c_str(), scope, filter.c_str(), names.data(), 0, controls,
                                       nullptr, &limit, 2, &raw);
    Messages result(raw, ldap_msgfree);
    Check(code, what);
    return result;
}

// The first value of attribute in the first entry, or "" when there is none.
std::string FirstValue(LDAP* handle, LDAPMessage* messages, const char* attribute)
{
    LDAPMessage* entry = ldap_first_entry(handle, messages);
    if (entry == nullptr) {
        return "";
    }
    struct berval** values = ldap_get_values_len(handle, entry, attribute);
    std::string value;
    if (values != nullptr && values[0] != nullptr) {
        value.assign(values[0]->bv_val, values[0]->bv_len);
    }
    ldap_value_free_len(values);
    return value;
}


// The LDAP_SERVER_SD_FLAGS control asking for the owner alone
// (OWNER_SECURITY_INFORMATION): the directory shows that part of
// nTSecurityDescriptor to a reader who may not read the rest. Critical: a
// directory that ignored it would answer without the owner.
class OwnerOnlyControl {
public:
    OwnerOnlyControl()
    {
        constexpr ber_int_t OWNER_SECURITY_INFORMATION = 1;
        BerElement* ber = ber_alloc_t(LBER_USE_DER);
        struct berval value {0, nullptr};
        const bool encoded = ber != nullptr && ber_printf(ber, "{i}", OWNER_SECURITY_INFORMATION) != -1 &&
                             ber_flatten2(ber, &value, 0) == 0 &&
                             ldap_control_create("1.2.840.113556.1.4.801", 1, &value, 1, &control) == LDAP_SUCCESS;
        ber_free(ber, 1);
        if (!encoded) {
            throw RequestFailure(SERVICE_INTERNAL_ERROR, "cannot encode the security descriptor flags control");
        }
        list[0] = control;
    }
    ~OwnerOnlyControl() { ldap_control_free(control); }
    OwnerOnlyControl(const OwnerOnlyControl&) = delete;
    OwnerOnlyControl& operator=(const OwnerOnlyControl&) = delete;

    LDAPControl** List() { return list; }

private:
    LDAPControl* control = nullptr;
    LDAPControl* list[2] = {nullptr, nullptr};
};

std::vector<std::string> Values(LDAP* handle, LDAPMessage* entry, const char* attribute)
{
    std::vector<std::string> values;
    struct berval** raw = ldap_get_values_len(handle, entry, attribute);
    for (int i = 0; raw != nullptr && raw[i] != nullptr; ++i) {
        values.emplace_back(raw[i]->bv_val, raw[i]->bv_len);
    }
    ldap_value_free_len(raw);
    return values;
}

std::string EntryDN(LDAP* handle, LDAPMessage* entry)
{
    char* dn = ldap_get_dn(handle, entry);
    std::string text = dn != nullptr ? dn : "";
    ldap_memfree(dn);
    return text;
}

// The entry of the account the service binds as: a DN as it is; a user
// principal name by that name, else (an implicit one, name@domain) by its
// first part; DOMAIN\name or name by sAMAccountName.
std::string OwnEntryDN(LDAP* handle, const std::string& domainDN, const std::string& user)
{
    if (user.find('=') != std::string::npos) {
        return user;
    }
    const std::size_t at = user.find('@');
    const std::size_t slash = user.find('\\');
    const std::string name = at != std::string::npos      ? user.substr(0, at)
                             : slash != std::string::npos ? user.substr(slash + 1)
                                                          : user;
    std::vector<std::string> filters{"(sAMAccountName=" + EscapedFilterValue(name) + ")"};
    if (at != std::string::npos) {
        filters.insert(filters.begin(), "(userPrincipalName=" + EscapedFilterValue(user) + ")");
    }
    for (const std::string& filter : filters) {
        Messages found = Search(handle, domainDN, LDAP_SCOPE_SUBTREE, "(&(objectClass=user)" + filter + ")",
                                {"1.1"}, "the service's own account");
        LDAPMessage* entry = ldap_first_entry(handle, found.get());
        if (entry != nullptr && ldap_next_entry(handle, entry) == nullptr) {
            return EntryDN(handle, entry);
        }
    }
    throw ServiceAccountRefused("cannot tell which directory entry is the service's own account " + user +
                                ": name it by its distinguished name in the credentials file");
}

std::string DefaultNamingContext(LDAP* handle)
{
    Messages root = Search(handle, "", LDAP_SCOPE_BASE, "(objectClass=*)", {"defaultNamingContext"}, "root DSE");
    const std::string domainDN = FirstValue(handle, root.get(), "defaultNamingContext");
    if (domainDN.empty()) {
        throw RequestFailure(SERVICE_INTERNAL_ERROR, "the directory names no default naming context");
    }
    return domainDN;
}

// The password as the directory takes it: the quoted text in UTF-16LE.
SecretBytes UnicodePassword(const SecretString& password)
{
    SecretBytes encoded;
    encoded.reserve(2 * (password.size() + 2));
    const auto put = [&](char c) {
        encoded.push_back(static_cast<unsigned char>(c));
        encoded.push_back(0);
    };
    put('"');
    for (char c : password) {
        put(c);
    }
    put('"');
    return encoded;
}

}  // namespace

SecretString NewOneTimePassword()
{
    static const char ALPHABET[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    constexpr std::size_t LENGTH = 32;
    SecretString password;
    password.reserve(LENGTH);
    SecretBytes random(LENGTH);
    for (;;) {
        password.clear();
        while (password.size() < LENGTH) {
            if (RAND_bytes(random.data(), static_cast<int>(random.size())) != 1) {
                throw RequestFailure(SERVICE_INTERNAL_ERROR, "no random numbers");
            }
            for (unsigned char r : random) {
                if (r < 248 && password.size() < LENGTH) {  // 248 = 4 * 62: no bias
                    password += ALPHABET[r % 62];
                }
            }
        }
        const auto has = [&](int (*kind)(int)) {
            return std::any_of(password.begin(), password.end(), [&](char c) { return kind(static_cast<unsigned char>(c)) != 0; });
        };
        if (has(isupper) && has(islower) && has(isdigit)) {
            return password;
        }
    }
}

// The connections of one set of settings and credentials.
struct Directory::Pool {
    Pool(const ServiceConfiguration& settings, DirectoryCredentials credentials_)
        : uri(settings.directoryUri), caFile(settings.directoryCaFile), defaultContainer(settings.defaultContainer),
          allowedContainers(settings.allowedContainers), allowedDnsSuffixes(settings.allowedDnsSuffixes),
          credentials(std::move(credentials_))
    {
    }

    // Runs work(handle) on a kept connection or a new one. A kept connection
    // the directory dropped meanwhile is replaced once.
    template <typename Work>
    auto Use(Work work)
    {
        for (int attempt = 0;; ++attempt) {
            bool reused = false;
            Connection connection = Take(reused);
            try {
                auto result = work(connection.get());
                Give(std::move(connection));
                return result;
            } catch (const RequestFailure& failure) {
                const bool broken = failure.status == SERVICE_NO_SUCH_DOMAIN || failure.status == SERVICE_INTERNAL_ERROR;
                if (!broken) {
                    Give(std::move(connection));
                } else if (reused && attempt == 0) {
                    continue;
                }
                throw;
            }
        }
    }

    std::string DomainDN(LDAP* handle)
    {
        {
            std::lock_guard<std::mutex> guard(lock);
            if (!domainDN.empty()) {
                return domainDN;
            }
        }
        const std::string found = DefaultNamingContext(handle);
        std::lock_guard<std::mutex> guard(lock);
        domainDN = found;
        return found;
    }

    // The objectSid of the account the service binds as, once its token
    // groups showed it is no administrator: read once for these
    // credentials.
    std::string ServiceSid(LDAP* handle)
    {
        {
            std::lock_guard<std::mutex> guard(lock);
            if (!serviceSid.empty()) {
                return serviceSid;
            }
        }
        const std::string dn = OwnEntryDN(handle, DomainDN(handle), credentials.user);
        Messages own = Search(handle, dn, LDAP_SCOPE_BASE, "(objectClass=*)", {"objectSid", "tokenGroups"},
                              "the service's own account");
        LDAPMessage* entry = ldap_first_entry(handle, own.get());
        const std::string sid = SidText(FirstValue(handle, own.get(), "objectSid"));
        std::vector<std::string> groups;
        for (const std::string& group : entry != nullptr ? Values(handle, entry, "tokenGroups") : std::vector<std::string>{}) {
            groups.push_back(SidText(group));
        }
        if (sid.empty() || groups.empty()) {
            throw ServiceAccountRefused("the directory shows no objectSid or no token groups for the service's own account " +
                                        dn + ": it must be able to read its own entry");
        }
        const std::string privileged = PrivilegedGroup(groups);
        if (!privileged.empty()) {
            throw ServiceAccountRefused("the service's directory account " + dn + " is a member of " + privileged +
                                        ": it needs only the rights to create computer objects and to reset their "
                                        "passwords in its containers; give it an account of its own with just "
                                        "those (see orvauth-proxyd(8))");
        }
        std::lock_guard<std::mutex> guard(lock);
        serviceSid = sid;
        return sid;
    }

    const std::string uri;
    const std::string caFile;
    const std::string defaultContainer;
    const std::vector<std::string> allowedContainers;
    const std::vector<std::string> allowedDnsSuffixes;
    const DirectoryCredentials credentials;

private:
    Connection Take(bool& reused)
    {
        {
            std::lock_guard<std::mutex> guard(lock);
            if (!idle.empty()) {
                Connection connection = std::move(idle.back());
                idle.pop_back();
                reused = true;
                return connection;
            }
        }
        reused = false;
        return Connect(uri, caFile, credentials);
    }
    void Give(Connection connection)
    {
        std::lock_guard<std::mutex> guard(lock);
        if (idle.size() < KEPT_CONNECTIONS) {
            idle.push_back(std::move(connection));
        }
    }

    std::mutex lock;
    std::vector<Connection> idle;
    std::string domainDN;
    std::string serviceSid;
};

namespace {

// Holds a computer name for one request: a second request for the same
// name waits until the first is answered.
class NameClaim {
public:
    NameClaim(std::mutex& lock_, std::condition_variable& freed_, std::set<std::string>& names_, std::string name_)
        : lock(lock_), freed(freed_), names(names_), name(std::move(name_))
    {
        std::unique_lock<std::mutex> guard(lock);
        freed.wait(guard, [&] { return names.count(name) == 0; });
        names.insert(name);
    }
    ~NameClaim()
    {
        std::lock_guard<std::mutex> guard(lock);
        names.erase(name);
        freed.notify_all();
    }

private:
    std::mutex& lock;
    std::condition_variable& freed;
    std::set<std::string>& names;
    const std::string name;
};

bool HasValue(const std::vector<std::string>& values, const char* wanted)
{
    return std::any_of(values.begin(), values.end(), [&](const std::string& value) { return strcasecmp(value.c_str(), wanted) == 0; });
}

constexpr std::initializer_list<const char*> ACCOUNT_ATTRIBUTES = {
    "objectClass", "userAccountControl", MANAGED_MARKER_ATTRIBUTE, PASSWORD_RECORD_ATTRIBUTE, "dNSHostName",
    "pwdLastSet",  "msDS-KeyVersionNumber", "nTSecurityDescriptor"};

ExistingAccount ReadAccount(LDAP* handle, LDAPMessage* entry)
{
    ExistingAccount account;
    account.dn = EntryDN(handle, entry);
    account.computer = HasValue(Values(handle, entry, "objectClass"), "computer");
    const std::vector<std::string> control = Values(handle, entry, "userAccountControl");
    account.userAccountControl = control.empty() ? 0 : std::strtoul(control.front().c_str(), nullptr, 10);
    account.marks = Values(handle, entry, MANAGED_MARKER_ATTRIBUTE);
    account.records = Values(handle, entry, PASSWORD_RECORD_ATTRIBUTE);
    account.dnsHostNames = Values(handle, entry, "dNSHostName");
    const std::vector<std::string> descriptor = Values(handle, entry, "nTSecurityDescriptor");
    account.ownerSid = descriptor.size() == 1 ? OwnerSidText(descriptor.front()) : "";
    const std::vector<std::string> stamp = Values(handle, entry, "pwdLastSet");
    account.pwdLastSet = stamp.empty() ? "" : stamp.front();
    const std::vector<std::string> version = Values(handle, entry, "msDS-KeyVersionNumber");
    account.keyVersion = version.empty() ? "" : version.front();
    return account;
}

// Writes the pwdLastSet the service's password set gave dn to its record.
// "" when done, else why not: the password is set all the same, so the
// host gets it, and the log says what the next request will meet.
std::string RecordPasswordTime(LDAP* handle, const std::string& dn)
{
    try {
        Messages after = Search(handle, dn, LDAP_SCOPE_BASE, "(objectClass=*)", {"pwdLastSet", "msDS-KeyVersionNumber"},
                                "password time");
        const std::string stamp = FirstValue(handle, after.get(), "pwdLastSet");
        const std::string version = FirstValue(handle, after.get(), "msDS-KeyVersionNumber");
        if (stamp.empty() || stamp == "0" || version.empty()) {
            return "the directory shows no pwdLastSet or msDS-KeyVersionNumber";
        }
        const std::string record = PasswordRecord(stamp, version);
        char* records[] = {const_cast<char*>(record.c_str()), nullptr};
        LDAPMod recordMod{LDAP_MOD_REPLACE, const_cast<char*>(PASSWORD_RECORD_ATTRIBUTE), {}};
        recordMod.mod_vals.modv_strvals = records;
        LDAPMod* mods[] = {&recordMod, nullptr};
        Check(ldap_modify_ext_s(handle, dn.c_str(), mods, nullptr, nullptr), "password record");
        return "";
    } catch (const RequestFailure& failure) {
        return failure.what();
    }
}

}  // namespace

Directory::Directory(const ServiceConfiguration& settings, DirectoryCredentials credentials)
    : pool(std::make_shared<Pool>(settings, std::move(credentials)))
{
}

Directory::~Directory() = default;

void Directory::Reconfigure(const ServiceConfiguration& settings, DirectoryCredentials credentials)
{
    auto fresh = std::make_shared<Pool>(settings, std::move(credentials));
    std::lock_guard<std::mutex> guard(lock);
    pool = std::move(fresh);  // requests in progress keep the old one
    describedAt = {};
}

std::shared_ptr<Directory::Pool> Directory::CurrentPool()
{
    std::lock_guard<std::mutex> guard(lock);
    return pool;
}

DomainInformation Directory::Describe()
{
    {
        std::lock_guard<std::mutex> guard(lock);
        if (describedAt != std::chrono::steady_clock::time_point{} &&
            std::chrono::steady_clock::now() - describedAt < DESCRIPTION_KEPT) {
            return described;
        }
    }
    const DomainInformation information = CurrentPool()->Use([](LDAP* handle) {
        Messages root = Search(handle, "", LDAP_SCOPE_BASE, "(objectClass=*)",
                               {"defaultNamingContext", "configurationNamingContext"}, "root DSE");
        const std::string domainDN = FirstValue(handle, root.get(), "defaultNamingContext");
        const std::string configurationDN = FirstValue(handle, root.get(), "configurationNamingContext");
        if (domainDN.empty() || configurationDN.empty()) {
            throw RequestFailure(SERVICE_INTERNAL_ERROR, "the directory names no naming contexts");
        }
        Messages domain = Search(handle, domainDN, LDAP_SCOPE_BASE, "(objectClass=*)", {"objectSid"}, "domain");
        Messages partition = Search(handle, "CN=Partitions," + configurationDN, LDAP_SCOPE_ONELEVEL,
                                    "(&(objectClass=crossRef)(nCName=" + EscapedFilterValue(domainDN) + "))",
                                    {"nETBIOSName", "dnsRoot"}, "domain partition");
        DomainInformation found;
        found.sid = SidText(FirstValue(handle, domain.get(), "objectSid"));
        if (found.sid.empty()) {
            throw RequestFailure(SERVICE_INTERNAL_ERROR, "the domain's objectSid is malformed");
        }
        found.netbiosName = FirstValue(handle, partition.get(), "nETBIOSName");
        found.dnsName = FirstValue(handle, partition.get(), "dnsRoot");
        if (found.netbiosName.empty() || found.dnsName.empty()) {
            throw RequestFailure(SERVICE_INTERNAL_ERROR, "the directory does not name the domain");
        }
        return found;
    });
    std::lock_guard<std::mutex> guard(lock);
    described = information;
    describedAt = std::chrono::steady_clock::now();
    return information;
}

void Directory::CheckServiceAccount()
{
    const std::shared_ptr<Pool> current = CurrentPool();
    current->Use([&](LDAP* handle) { return current->ServiceSid(handle); });
}

CreatedAccount Directory::CreateOrReset(const std::string& hostName, const std::string& container,
                                        const SecretString& password)
{
    const std::string computerName = ComputerNameForHost(hostName);
    if (IsReservedComputerName(computerName)) {
        throw RequestFailure(SERVICE_ACCESS_DENIED, computerName + " is a reserved name", reason::HOST_NAME);
    }
    const std::shared_ptr<Pool> current = CurrentPool();
    const std::vector<std::string> suffixes =
        current->allowedDnsSuffixes.empty() ? std::vector<std::string>{Describe().dnsName} : current->allowedDnsSuffixes;
    if (!IsUnderDnsSuffix(hostName, suffixes)) {
        std::string listed;
        for (const std::string& suffix : suffixes) {
            listed += (listed.empty() ? "" : ", ") + suffix;
        }
        throw RequestFailure(SERVICE_ACCESS_DENIED, hostName + " lies under none of the allowed DNS suffixes (" + listed + ")",
                             reason::HOST_NAME);
    }
    const std::string requested = container.empty() ? current->defaultContainer : container;
    CheckContainer(requested);
    NameClaim claim(namesLock, nameFreed, namesInUse, computerName);

    SecretBytes encoded = UnicodePassword(password);
    OwnerOnlyControl ownerOnly;
    return current->Use([&](LDAP* handle) {
        const std::string domainDN = current->DomainDN(handle);
        const std::string serviceSid = current->ServiceSid(handle);
        std::vector<std::string> allowed;
        for (const std::string& each : current->allowedContainers) {
            allowed.push_back(ContainerInDomain(each, domainDN));
        }
        const std::string containerDN = ContainerInDomain(requested, domainDN);
        if (!std::any_of(allowed.begin(), allowed.end(), [&](const std::string& each) { return SameDN(each, containerDN); })) {
            throw RequestFailure(SERVICE_ACCESS_DENIED, containerDN + " is not an allowed container", reason::REQUEST);
        }
        CreatedAccount account;
        account.accountName = computerName + "$";
        struct berval passwordValue {static_cast<ber_len_t>(encoded.size()), reinterpret_cast<char*>(encoded.data())};
        struct berval* passwordValues[] = {&passwordValue, nullptr};

        // Any object that holds the name, computer or not.
        Messages existing = Search(handle, domainDN, LDAP_SCOPE_SUBTREE,
                                   "(|(sAMAccountName=" + EscapedFilterValue(account.accountName) +
                                       ")(sAMAccountName=" + EscapedFilterValue(computerName) + "))",
                                   ACCOUNT_ATTRIBUTES, "account search", ownerOnly.List());
        if (LDAPMessage* entry = ldap_first_entry(handle, existing.get())) {
            const ExistingAccount found = ReadAccount(handle, entry);
            account.dn = found.dn;
            if (ldap_next_entry(handle, entry) != nullptr) {
                throw RequestFailure(SERVICE_ACCESS_DENIED, "more than one object holds the name " + computerName,
                                     reason::NOT_SERVICE_ACCOUNT);
            }
            if (const auto why = ReasonNotToReset(found, hostName, serviceSid, allowed)) {
                throw RequestFailure(SERVICE_ACCESS_DENIED, *why, reason::NOT_SERVICE_ACCOUNT);
            }
            LDAPMod passwordMod{LDAP_MOD_REPLACE | LDAP_MOD_BVALUES, const_cast<char*>("unicodePwd"), {}};
            passwordMod.mod_vals.modv_bvals = passwordValues;
            LDAPMod* mods[] = {&passwordMod, nullptr};
            Check(ldap_modify_ext_s(handle, account.dn.c_str(), mods, nullptr, nullptr), "password reset");
            account.reused = true;
            account.unrecorded = RecordPasswordTime(handle, account.dn);
            return account;
        }

        account.dn = "CN=" + computerName + "," + containerDN;
        const std::string dnsHostName = ToLower(hostName);
        char* objectClasses[] = {const_cast<char*>("top"), const_cast<char*>("person"),
                                 const_cast<char*>("organizationalPerson"), const_cast<char*>("user"),
                                 const_cast<char*>("computer"), nullptr};
        char* names[] = {const_cast<char*>(account.accountName.c_str()), nullptr};
        char* control[] = {const_cast<char*>("4096"), nullptr};  // a workstation trust account, enabled
        char* dnsNames[] = {const_cast<char*>(dnsHostName.c_str()), nullptr};
        const std::string mark = ManagedMarker(hostName);
        char* marks[] = {const_cast<char*>(mark.c_str()), nullptr};
        LDAPMod classMod{LDAP_MOD_ADD, const_cast<char*>("objectClass"), {}};
        classMod.mod_vals.modv_strvals = objectClasses;
        LDAPMod nameMod{LDAP_MOD_ADD, const_cast<char*>("sAMAccountName"), {}};
        nameMod.mod_vals.modv_strvals = names;
        LDAPMod controlMod{LDAP_MOD_ADD, const_cast<char*>("userAccountControl"), {}};
        controlMod.mod_vals.modv_strvals = control;
        LDAPMod markMod{LDAP_MOD_ADD, const_cast<char*>(MANAGED_MARKER_ATTRIBUTE), {}};
        markMod.mod_vals.modv_strvals = marks;
        LDAPMod dnsMod{LDAP_MOD_ADD, const_cast<char*>("dNSHostName"), {}};
        dnsMod.mod_vals.modv_strvals = dnsNames;
        LDAPMod passwordMod{LDAP_MOD_ADD | LDAP_MOD_BVALUES, const_cast<char*>("unicodePwd"), {}};
        passwordMod.mod_vals.modv_bvals = passwordValues;
        // The password, the mark and the host's full name are part of the
        // add: the account never exists without them. (The record of the
        // password's time can follow only once the directory set it.)
        LDAPMod* mods[] = {&classMod, &nameMod, &controlMod, &markMod, &passwordMod, &dnsMod, nullptr};
        Check(ldap_add_ext_s(handle, account.dn.c_str(), mods, nullptr, nullptr), "account creation");
        account.unrecorded = RecordPasswordTime(handle, account.dn);
        return account;
    });
}

}  // namespace orvauth_proxyd
