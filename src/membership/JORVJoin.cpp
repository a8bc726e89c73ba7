// Joining a domain through an authentication proxy: the proxy creates the
// machine account, the directory client joins with it, and the membership
// is recorded in the host configuration store.
#include "config/ConfigPaths.h"
#include "membership/DomainRecord.h"
#include "membership/HostFilesRollback.h"
#include "membership/HostIdentity.h"
#include "membership/JORVPrerequisites.h"
#include "errors/LogText.h"

#include <orvane/authentication/ActiveDirectoryConfigStore.h>
#include <orvane/authentication/ActiveDirectoryProvider.h>
#include <orvane/authentication/ActiveDirectoryStore.h>
#include <orvane/authentication/Configuration.h>
#include <orvane/authentication/Exceptions.h>
#include <orvane/authentication/JORVProxy.h>
#include <orvane/authentication/PluginStatus.h>

#include <platform/NodeCtl.h>

#include <cstdint>
#include <memory>
#include <string>
#include <syslog.h>

namespace orvane {
namespace authentication {

namespace {

constexpr const char* VERIFY_OPTION_BRANCH = "UserVars";
constexpr const char* VERIFY_OPTION_NAME = "ActiveDirectoryVerifyJORVCertificate";

[[noreturn]] void ThrowVerifyOptionUnavailable()
{
    throw InvalidVerifyJORVCertificateOptionException(
        "Unable to get advanced option UserVars.ActiveDirectoryVerifyJORVCertificate");
}

// The advanced option that says whether the proxy's certificate is checked.
// The option object outlives its branches.
std::unique_ptr<NodeCtl::Adv::AdvancedIntegerOption> ReadVerifyCertificateOption()
{
    std::unique_ptr<NodeCtl::Adv::AdvancedOption> option;
    try {
        NodeCtl::Host* host = NodeCtl::HostFactory::GetHost();
        std::unique_ptr<NodeCtl::Adv::AdvancedOptionBranch> root(host->GetAdvancedOptions());
        if (!root) {
            ThrowVerifyOptionUnavailable();
        }
        std::unique_ptr<NodeCtl::Adv::AdvancedOptionBranch> userVars(root->GetBranch(VERIFY_OPTION_BRANCH));
        if (!userVars) {
            ThrowVerifyOptionUnavailable();
        }
        option.reset(userVars->GetOption(VERIFY_OPTION_NAME));
    } catch (const NodeCtl::Lib::NodeCtlException&) {
        ThrowVerifyOptionUnavailable();
    }
    auto* integerOption = dynamic_cast<NodeCtl::Adv::AdvancedIntegerOption*>(option.get());
    if (integerOption == nullptr) {
        ThrowVerifyOptionUnavailable();  // missing, or a text option
    }
    option.release();
    return std::unique_ptr<NodeCtl::Adv::AdvancedIntegerOption>(integerOption);
}

// The thumbprint the proxy's certificate must match. With the configuration
// store in use one certificate is trusted for every proxy, and it is only
// needed when verifying; otherwise each proxy has its own line in
// jorvservers.conf, an unlisted one trusting nothing.
std::string ExpectedThumbprint(const std::string& serverAddress, bool verifyCertificate)
{
    if (ActiveDirectoryConfigStore::IsConfigStoreEnabled()) {
        if (!verifyCertificate) {
            return std::string();
        }
        try {
            ActiveDirectoryConfigStore configStore;
            return configStore.GetThumbprint();
        } catch (const std::exception& error) {
            syslog(LOG_ERR, "Unable to fetch thumbprint from Config Store: %s", LogText(error.what()).c_str());
            throw InvalidThumbprintStoreException(ActiveDirectoryConfigStore::AUTH_PROXY_CONFIG_KEY);
        }
    }
    try {
        JORVThumbprintStore trusted(JORV_SERVERS_CONF_PATH);
        return trusted.LookupThumbprint(serverAddress);
    } catch (const IOError&) {
        throw InvalidThumbprintStoreException(JORV_SERVERS_CONF_PATH);
    }
}

}  // namespace

std::int64_t ReadVerifyJORVCertificateOption()
{
    const std::int64_t value = ReadVerifyCertificateOption()->GetCurrentValue();
    if (value != 0 && value != 1) {
        throw InvalidVerifyJORVCertificateOptionException(
            "Invalid value for UserVars.ActiveDirectoryVerifyJORVCertificate");
    }
    return value;
}

namespace {

// The proxy is asked for the machine account only for a host the plug-in
// has not joined: for a joined one it would reset the password the host's
// keytab holds before the plug-in refuses to join twice. A join killed after
// the plug-in joined and before the domain record was stored is completed
// instead; any other joined host is refused as the plug-in would.
bool CompletesInterruptedProxyJoin(const ActiveDirectoryProvider& provider, const std::string& dnsDomainName,
                                   const std::string& organizationalUnit, const std::string& serverAddress)
{
    Domain joined;
    try {
        joined = provider.GetActiveDomain();
    } catch (const FileNotFoundException&) {
        return false;  // not joined
    } catch (const CallNotImplementedException&) {
        return false;  // it cannot tell; its own join refuses if it is joined
    }
    if (joined.dnsName.empty() && joined.netbiosName.empty()) {
        return false;
    }
    if (CompleteInterruptedJoin(provider, dnsDomainName, organizationalUnit, serverAddress)) {
        return true;
    }
    ThrowMappedException(ORVAUTH_STATUS_ALREADY_JOINED);
}

}  // namespace

void ActiveDirectoryStore::JoinDomainWithJORV(const std::string& serverAddress, const std::string& organizationalUnit,
                                              bool skipHostNameCheck)
{
    RequireIpv4ServerAddress(serverAddress);
    CheckedOrganizationalUnitDN(organizationalUnit, "");  // refused before anything is asked

    const bool verifyCertificate = ReadVerifyJORVCertificateOption() != 0;

    // The host's own name is needed for the machine account whether or not
    // the caller wants it checked against the domain.
    const HostIdentity host = ReadHostIdentity();

    const std::string providerName = ReadJORVProviderName();
    const std::string thumbprint = ExpectedThumbprint(serverAddress, verifyCertificate);
    const std::unique_ptr<JORVProxy> proxy = OpenJORVProxy(providerName, serverAddress, verifyCertificate, thumbprint);

    // A failed join leaves the host's name resolution as it found it.
    HostFilesRollback rollback(!skipHostNameCheck);
    try {
        // The proxy is asked for its domain once: the answer serves the
        // host-name check, the container and the directory's join.
        JORV::DirectoryDomainInfo domain;
        domain.domainController = proxy->GetDomainController();
        proxy->GetDomainInfo(domain.netbiosName, domain.dnsName, domain.sid);
        if (!skipHostNameCheck) {
            rollback.RunCheck([&] { SanitiseHostnameForDomain(domain.dnsName); });
        }

        if (CompletesInterruptedProxyJoin(*provider, domain.dnsName, organizationalUnit, serverAddress)) {
            return;
        }
        // The proxy takes the container as a DN, whichever form the caller
        // wrote; the record keeps the caller's form.
        const std::string container = organizationalUnit.empty()
                                          ? proxy->GetDefaultComputerContainer()
                                          : CheckedOrganizationalUnitDN(organizationalUnit, domain.dnsName);
        const ComputerPrincipalInfo principal = proxy->CreateMachineAccount(host.resolvedName, container);

        JORV::MachineAccountInfo account;
        account.hostName = host.shortName;
        account.dnsDomainName = domain.dnsName;
        account.createdValue1 = principal.createdValue1;
        account.createdValue2 = principal.createdValue2;

        provider->JoinDomainWithMachineAccount(domain, account);
        RecordMembershipOrLeave(*provider, domain.dnsName, organizationalUnit, serverAddress);
    } catch (...) {
        rollback.Restore();
        throw;
    }
}

}  // namespace authentication
}  // namespace orvane
