#include "adclient/DirectorySession.h"

#include "base/AsciiText.h"
#include "base/LdapText.h"
#include "common/StatusError.h"

#include <cstdio>
#include <gssapi/gssapi_krb5.h>
#include <krb5.h>
#include <ldap.h>
#include <sasl/sasl.h>

using orvauth_plugin::Fail;

namespace adclient {

namespace {

// The machine account's own bind: a refused key is the account's, not a
// password's, and a slow controller a time-out rather than an absent one.
std::uint32_t StatusOfLdapResult(int result)
{
    switch (result) {
    case LDAP_TIMEOUT:
        return ORVAUTH_STATUS_TIMED_OUT;
    case LDAP_INVALID_CREDENTIALS:
        return ORVAUTH_STATUS_ACCESS_DENIED;
    default:
        return orvauth_base::StatusOfLdapResult(result);
    }
}

std::uint32_t StatusOfKerberosError(krb5_error_code code)
{
    switch (code) {
    case KRB5_KDC_UNREACH:
    case KRB5_REALM_CANT_RESOLVE:
    case KRB5_REALM_UNKNOWN:
        return ORVAUTH_STATUS_NO_SUCH_DOMAIN;
    case KRB5KRB_AP_ERR_SKEW:
        return ORVAUTH_STATUS_TIME_SKEW;
    case KRB5KDC_ERR_C_PRINCIPAL_UNKNOWN:
    case KRB5KDC_ERR_PREAUTH_FAILED:
    case KRB5KRB_AP_ERR_BAD_INTEGRITY:
    case KRB5KDC_ERR_CLIENT_REVOKED:
        return ORVAUTH_STATUS_NO_TRUST_ACCOUNT;  // the directory does not know this host's account (any more)
    case KRB5_KT_NOTFOUND:
    case ENOENT:
        return ORVAUTH_STATUS_NO_TRUST_SECRET;  // no secret for the machine account on this host
    default:
        return ORVAUTH_STATUS_INTERNAL_ERROR;
    }
}

// The GSSAPI mechanism asks nothing interactively when a credential cache
// is set; answer every prompt with its default.
int Interact(LDAP*, unsigned, void*, void* prompts)
{
    for (auto* prompt = static_cast<sasl_interact_t*>(prompts); prompt->id != SASL_CB_LIST_END; ++prompt) {
        prompt->result = prompt->defresult;
        prompt->len = prompt->defresult == nullptr ? 0 : static_cast<unsigned>(std::char_traits<char>::length(prompt->defresult));
    }
    return LDAP_SUCCESS;
}

}  // namespace

std::string DirectoryEntry::First(const std::string& name) const
{
    const auto found = attributes.find(name);
    return found == attributes.end() || found->second.empty() ? "" : found->second.front();
}

struct DirectorySession::Impl {
    krb5_context context = nullptr;
    krb5_ccache cache = nullptr;
    LDAP* ldap = nullptr;
    std::chrono::seconds bound{0};

    ~Impl()
    {
        if (ldap != nullptr) {
            ldap_unbind_ext_s(ldap, nullptr, nullptr);
        }
        if (cache != nullptr) {
            krb5_cc_destroy(context, cache);
        }
        if (context != nullptr) {
            krb5_free_context(context);
        }
    }

    void Check(krb5_error_code code)
    {
        if (code != 0) {
            Fail(StatusOfKerberosError(code));
        }
    }

    // A ticket-granting ticket for COMPUTER$@REALM from the keytab, into a
    // fresh MEMORY cache.
    void AcquireMachineTicket(const MachineAccount& account)
    {
        Check(krb5_init_context(&context));
        krb5_principal client = nullptr;
        Check(krb5_parse_name(context, (account.computerName + "$@" + account.realm).c_str(), &client));
        krb5_keytab keytab = nullptr;
        krb5_creds credentials{};
        krb5_get_init_creds_opt* options = nullptr;
        krb5_error_code code = krb5_kt_resolve(context, ("FILE:" + account.keytab).c_str(), &keytab);
        if (code == 0) {
            code = krb5_get_init_creds_opt_alloc(context, &options);
        }
        if (code == 0) {
            krb5_get_init_creds_opt_set_forwardable(options, 0);
            code = krb5_get_init_creds_keytab(context, &credentials, client, keytab, 0, nullptr, options);
        }
        if (code == 0) {
            code = krb5_cc_new_unique(context, "MEMORY", nullptr, &cache);
        }
        if (code == 0) {
            code = krb5_cc_initialize(context, cache, client);
        }
        if (code == 0) {
            code = krb5_cc_store_cred(context, cache, &credentials);
        }
        krb5_free_cred_contents(context, &credentials);
        if (options != nullptr) {
            krb5_get_init_creds_opt_free(context, options);
        }
        if (keytab != nullptr) {
            krb5_kt_close(context, keytab);
        }
        krb5_free_principal(context, client);
        Check(code);
    }

    // Connects before any Kerberos traffic: libkrb5 has no overall time
    // limit of its own (locating and retrying a dead KDC takes a minute), so
    // a controller that does not even accept the LDAP connection within the
    // bound is given up on here.
    void Connect(const MachineAccount& account)
    {
        const std::string uri = (account.useLdaps ? "ldaps://" : "ldap://") + account.controller;
        if (ldap_initialize(&ldap, uri.c_str()) != LDAP_SUCCESS) {
            Fail(ORVAUTH_STATUS_INTERNAL_ERROR);
        }
        const int version = LDAP_VERSION3;
        timeval timeout{static_cast<time_t>(bound.count()), 0};
        ldap_set_option(ldap, LDAP_OPT_PROTOCOL_VERSION, &version);
        ldap_set_option(ldap, LDAP_OPT_REFERRALS, LDAP_OPT_OFF);
        ldap_set_option(ldap, LDAP_OPT_NETWORK_TIMEOUT, &timeout);
        ldap_set_option(ldap, LDAP_OPT_TIMEOUT, &timeout);
        ldap_set_option(ldap, LDAP_OPT_TIMELIMIT, &timeout.tv_sec);
        // The controller's name is the one the directory gave; reverse DNS
        // must not replace it in the service principal.
        ldap_set_option(ldap, LDAP_OPT_X_SASL_NOCANON, LDAP_OPT_ON);
        // Over TLS a directory refuses a SASL security layer on top
        // (Windows: "sign or seal over TLS"), so GSSAPI only authenticates.
        if (account.useLdaps && ldap_set_option(ldap, LDAP_OPT_X_SASL_SECPROPS, "maxssf=0") != LDAP_OPT_SUCCESS) {
            Fail(ORVAUTH_STATUS_INTERNAL_ERROR);
        }
        const int result = ldap_connect(ldap);
        if (result != LDAP_SUCCESS) {
            Fail(StatusOfLdapResult(result));
        }
    }

    void Bind()
    {
        // GSSAPI takes its cache name per thread: point this thread at the
        // private cache for the bind, and back afterwards.
        const std::string cacheName = std::string(krb5_cc_get_type(context, cache)) + ":" +
                                      krb5_cc_get_name(context, cache);
        OM_uint32 minor = 0;
        const char* previous = nullptr;
        if (gss_krb5_ccache_name(&minor, cacheName.c_str(), &previous) != GSS_S_COMPLETE) {
            Fail(ORVAUTH_STATUS_INTERNAL_ERROR);
        }
        const std::string restore = previous == nullptr ? "" : previous;
        const int result = ldap_sasl_interactive_bind_s(ldap, nullptr, "GSSAPI", nullptr, nullptr,
                                                        LDAP_SASL_QUIET, Interact, nullptr);
        gss_krb5_ccache_name(&minor, restore.empty() ? nullptr : restore.c_str(), nullptr);
        if (result != LDAP_SUCCESS) {
            Fail(StatusOfLdapResult(result));
        }
    }
};

DirectorySession::DirectorySession(const MachineAccount& account, std::chrono::seconds bound)
    : impl(new Impl)
{
    impl->bound = bound;
    impl->Connect(account);
    impl->AcquireMachineTicket(account);
    impl->Bind();
}

DirectorySession::~DirectorySession() = default;

std::vector<DirectoryEntry> DirectorySession::Search(const std::string& base, const std::string& filter,
                                                     const std::vector<std::string>& attributes)
{
    std::vector<char*> names;
    std::vector<std::string> copies = attributes;
    for (std::string& name : copies) {
        names.push_back(&name[0]);
    }
    names.push_back(nullptr);
    timeval timeout{static_cast<time_t>(impl->bound.count()), 0};
    LDAPMessage* answer = nullptr;
    const int result = ldap_search_ext_s(impl->ldap, base.c_str(), LDAP_SCOPE_SUBTREE, filter.c_str(), names.data(),
                                         0, nullptr, nullptr, &timeout, LDAP_NO_LIMIT, &answer);
    std::unique_ptr<LDAPMessage, int (*)(LDAPMessage*)> owner(answer, ldap_msgfree);
    if (result == LDAP_NO_SUCH_OBJECT) {
        return {};
    }
    if (result != LDAP_SUCCESS) {
        Fail(StatusOfLdapResult(result));
    }
    std::vector<DirectoryEntry> entries;
    for (LDAPMessage* entry = ldap_first_entry(impl->ldap, answer); entry != nullptr;
         entry = ldap_next_entry(impl->ldap, entry)) {
        DirectoryEntry record;
        if (char* dn = ldap_get_dn(impl->ldap, entry)) {
            record.dn = dn;
            ldap_memfree(dn);
        }
        for (const std::string& name : attributes) {
            berval** values = ldap_get_values_len(impl->ldap, entry, name.c_str());
            const std::string key = orvauth_base::ToLower(name);
            for (berval** value = values; value != nullptr && *value != nullptr; ++value) {
                record.attributes[key].emplace_back((*value)->bv_val, (*value)->bv_len);
            }
            ldap_value_free_len(values);
        }
        entries.push_back(std::move(record));
    }
    return entries;
}

}  // namespace adclient
