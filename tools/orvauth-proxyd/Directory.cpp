#include "Directory.h"

#include "base/LdapText.h"
#include "base/ProxyProtocol.h"

#include <ldap.h>
#include <openssl/rand.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace orvauth_proxyd {

using namespace orvauth_proxy;
using namespace orvauth_base;

namespace {

constexpr int NETWORK_TIMEOUT_SECONDS = 5;
constexpr int OPERATION_TIMEOUT_SECONDS = 10;
constexpr unsigned WORKSTATION_TRUST_ACCOUNT = 0x1000;
constexpr unsigned SERVER_TRUST_ACCOUNT = 0x2000;

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
                std::initializer_list<const char*> attributes, const char* what)
{
    std::vector<char*> names;
    for (const char* name : attributes) {
        names.push_back(const_cast<char*>(name));
    }
    names.push_back(nullptr);
    struct timeval limit {OPERATION_TIMEOUT_SECONDS, 0};
    LDAPMessage* raw = nullptr;
    const int code = ldap_search_ext_s(handle, base.c_str(), scope, filter.c_str(), names.data(), 0, nullptr,
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

Directory::Directory(const ServiceConfiguration& settings, DirectoryCredentials credentials_)
    : uri(settings.directoryUri), caFile(settings.directoryCaFile), defaultContainer(settings.defaultContainer),
      credentials(std::move(credentials_))
{
}

DomainInformation Directory::Describe()
{
    Connection connection = Connect(uri, caFile, credentials);
    LDAP* handle = connection.get();
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
    DomainInformation information;
    information.sid = SidText(FirstValue(handle, domain.get(), "objectSid"));
    if (information.sid.empty()) {
        throw RequestFailure(SERVICE_INTERNAL_ERROR, "the domain's objectSid is malformed");
    }
    information.netbiosName = FirstValue(handle, partition.get(), "nETBIOSName");
    information.dnsName = FirstValue(handle, partition.get(), "dnsRoot");
    if (information.netbiosName.empty() || information.dnsName.empty()) {
        throw RequestFailure(SERVICE_INTERNAL_ERROR, "the directory does not name the domain");
    }
    return information;
}

CreatedAccount Directory::CreateOrReset(const std::string& hostName, const std::string& container,
                                        const SecretString& password)
{
    const std::string computerName = ComputerNameForHost(hostName);
    CheckContainer(container.empty() ? defaultContainer : container);
    std::lock_guard<std::mutex> guard(creating);
    Connection connection = Connect(uri, caFile, credentials);
    LDAP* handle = connection.get();
    const std::string domainDN = DefaultNamingContext(handle);
    CreatedAccount account;
    account.accountName = computerName + "$";

    SecretBytes encoded = UnicodePassword(password);
    struct berval passwordValue {static_cast<ber_len_t>(encoded.size()), reinterpret_cast<char*>(encoded.data())};
    struct berval* passwordValues[] = {&passwordValue, nullptr};

    Messages existing = Search(handle, domainDN, LDAP_SCOPE_SUBTREE,
                               "(sAMAccountName=" + EscapedFilterValue(account.accountName) + ")",
                               {"userAccountControl", "objectClass"}, "account search");
    if (LDAPMessage* entry = ldap_first_entry(handle, existing.get())) {
        char* dn = ldap_get_dn(handle, entry);
        account.dn = dn != nullptr ? dn : "";
        ldap_memfree(dn);
        const unsigned long control = std::strtoul(FirstValue(handle, existing.get(), "userAccountControl").c_str(), nullptr, 10);
        if ((control & WORKSTATION_TRUST_ACCOUNT) == 0 || (control & SERVER_TRUST_ACCOUNT) != 0) {
            throw RequestFailure(SERVICE_ACCESS_DENIED, account.dn + " exists and is not a workstation account");
        }
        LDAPMod passwordMod{LDAP_MOD_REPLACE | LDAP_MOD_BVALUES, const_cast<char*>("unicodePwd"), {}};
        passwordMod.mod_vals.modv_bvals = passwordValues;
        LDAPMod* mods[] = {&passwordMod, nullptr};
        Check(ldap_modify_ext_s(handle, account.dn.c_str(), mods, nullptr, nullptr), "password reset");
        account.reused = true;
        return account;
    }

    account.dn = "CN=" + computerName + "," + ContainerInDomain(container.empty() ? defaultContainer : container, domainDN);
    const std::string dnsHostName = hostName.find('.') != std::string::npos ? hostName : "";
    char* objectClasses[] = {const_cast<char*>("top"), const_cast<char*>("person"),
                             const_cast<char*>("organizationalPerson"), const_cast<char*>("user"),
                             const_cast<char*>("computer"), nullptr};
    char* names[] = {const_cast<char*>(account.accountName.c_str()), nullptr};
    char* control[] = {const_cast<char*>("4096"), nullptr};  // a workstation trust account, enabled
    char* dnsNames[] = {const_cast<char*>(dnsHostName.c_str()), nullptr};
    LDAPMod classMod{LDAP_MOD_ADD, const_cast<char*>("objectClass"), {}};
    classMod.mod_vals.modv_strvals = objectClasses;
    LDAPMod nameMod{LDAP_MOD_ADD, const_cast<char*>("sAMAccountName"), {}};
    nameMod.mod_vals.modv_strvals = names;
    LDAPMod controlMod{LDAP_MOD_ADD, const_cast<char*>("userAccountControl"), {}};
    controlMod.mod_vals.modv_strvals = control;
    LDAPMod dnsMod{LDAP_MOD_ADD, const_cast<char*>("dNSHostName"), {}};
    dnsMod.mod_vals.modv_strvals = dnsNames;
    LDAPMod passwordMod{LDAP_MOD_ADD | LDAP_MOD_BVALUES, const_cast<char*>("unicodePwd"), {}};
    passwordMod.mod_vals.modv_bvals = passwordValues;
    // The password is part of the add: the account never exists without it.
    LDAPMod* mods[] = {&classMod, &nameMod, &controlMod, &passwordMod, dnsHostName.empty() ? nullptr : &dnsMod, nullptr};
    Check(ldap_add_ext_s(handle, account.dn.c_str(), mods, nullptr, nullptr), "account creation");
    return account;
}

}  // namespace orvauth_proxyd
